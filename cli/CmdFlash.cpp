#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "cli/Cli.h"
#include "device/SystemFile.h"
#include "firmware/FirmwareUpdater.h"

namespace cli {
namespace {

const char kHoldWarning[] =
    "\ntolvanex-cli: envío en curso: repita para abortar; el mando puede quedar inutilizable\n";

void DrawProgress(std::int32_t progress)
{
    constexpr int kWidth = 40;
    const int filled = progress * kWidth / 10000;
    std::fprintf(stderr, "\r[%-*.*s] %3d%%", kWidth, filled, "########################################",
                 progress / 100);
    std::fflush(stderr);
}

// Runs the download on a second thread so this one can draw its progress.
int DownloadWithProgress(CFirmwareUpdater& updater)
{
    std::atomic<bool> done{false};
    int result = 0;
    std::thread worker([&] {
        result = updater.Download();
        done.store(true, std::memory_order_release);
    });
    while (!done.load(std::memory_order_acquire)) {
        DrawProgress(updater.GetProgress());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    worker.join();
    DrawProgress(updater.GetProgress());
    std::fputc('\n', stderr);
    return result;
}

}  // namespace

int RunFlash(const ParsedArgs& args)
{
    if (args.operands.size() != 1)
        return UsageError("flash: hace falta exactamente un ARCHIVO");
    const std::string& path = args.operands[0];
    CFirmwareUpdater updater;
    if (!LoadFileOrReport(updater, path))
        return kExitFile;
    // An image no record wrote is all 0xFF: sending it would erase the controller.
    if (!updater.HasData()) {
        Complain("«" + path + "»: el archivo no contiene datos para el mando");
        return kExitFile;
    }

    updater.OpenController();
    if (!updater.IsControllerOpen()) {
        if (updater.Device().PassedOverBusy())
            Complain("el mando está en uso por otro proceso");
        Print("Mando no conectado\n");
        return kExitNoController;
    }
    // A controller cut off halfway may not start again: hold the first stop request.
    SysHoldStopRequests(kHoldWarning);
    const int ok = SysStderrIsTerminal() ? DownloadWithProgress(updater) : updater.Download();
    const int held = SysReleaseStopRequests();
    int status = kExitOk;
    if (ok) {
        Print("Actualización OK!!!!\n");
        std::fflush(stdout);
        updater.CloseController();
    } else {
        Print("Error sucedido!\n");
        status = kExitDownloadFailed;
    }
    if (held != 0) {
        FinishOutput(status);
        SysEndAsStopped(held);
    }
    return status;
}

}  // namespace cli
