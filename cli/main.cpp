#include "cli/Cli.h"
#include "device/SystemFile.h"

int main(int argc, char** argv)
{
    return cli::Main(SysCommandLine(argc, argv));
}
