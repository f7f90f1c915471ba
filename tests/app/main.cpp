// One CUpdaterApp for the whole run, built as the program builds it, with
// arguments that Qt itself would act on if they ever reached it.
#include <gtest/gtest.h>

#include <QByteArray>

#include <vector>

#include "app/UpdaterApp.h"
#include "ui/WindowApp.h"

CUpdaterApp* g_app = nullptr;

int main(int argc, char** argv)
{
    // Test discovery runs without the ENVIRONMENT property.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);

    char reverse[] = "-reverse";
    char style[] = "-style=windows";
    char help[] = "--help";
    char file[] = "/tmp/firmware.hex";
    std::vector<char*> args{argv[0], reverse, style, help, file, nullptr};
    wnd::Application toolkit(static_cast<int>(args.size()) - 1, args.data());
    CUpdaterApp app;
    g_app = &app;
    return RUN_ALL_TESTS();
}
