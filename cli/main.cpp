#include "cli/Main.h"
#include "sys/Process.h"

int main(int argc, char** argv)
{
    return cli::Main(SysCommandLine(argc, argv));
}
