#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "cli/Cli.h"
#include "device/SystemFile.h"
#include "firmware/FirmwareUpdater.h"

namespace cli {
namespace {

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

int RunFlash(const Args& args)
{
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-')
        return UsageError("flash: hace falta exactamente un ARCHIVO");
    CFirmwareUpdater updater;
    if (!LoadFileOrReport(updater, args[0]))
        return kExitFile;

    updater.OpenController();
    if (!updater.IsControllerOpen()) {
        std::puts("Mando no conectado");
        return kExitNoController;
    }
    const int ok = SysStderrIsTerminal() ? DownloadWithProgress(updater) : updater.Download();
    if (!ok) {
        std::puts("Error sucedido!");
        return kExitDownloadFailed;
    }
    std::puts("Actualización OK!!!!");
    std::fflush(stdout);
    updater.CloseController();
    return kExitOk;
}

}  // namespace cli
