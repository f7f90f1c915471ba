// One application object for the whole run of the dialog tests.
#include <gtest/gtest.h>

#include <QByteArray>

#include "ui/Dialog.h"
#include "ui/WindowApp.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    // Listing the tests needs no display; running them needs one, offscreen is enough.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    wnd::Application toolkit(argc, argv);
    AfxSetAppName("tolvanex-probe");
    return RUN_ALL_TESTS();
}
