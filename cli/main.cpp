#include "cli/Tool.h"
#include "sys/Process.h"

int main(int argc, char** argv)
{
    return cli::RunTool(SysCommandLine(argc, argv));
}
