#include <new>

#include "cli/ExitCodes.h"
#include "cli/Tool.h"
#include "sys/Process.h"

int main(int argc, char** argv)
{
    try {
        return cli::RunTool(SysCommandLine(argc, argv));
    } catch (const std::bad_alloc&) {
        // Told without asking for memory: a literal, written as it stands.
        SysWriteStandard(2, "tolvanex-cli: no queda memoria: el sistema no ha dado la que hacía falta\n");
        return cli::kExitFile;
    }
}
