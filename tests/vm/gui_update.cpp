// A whole update from the updater window, offscreen, against whatever HID
// stack the machine has: the VM runs it with the virtual controller on uhid.
// It plays the user: chooses FILE, presses ACTUALIZAR, watches the lock-out
// and the bar, and answers the result box. One line per observation on stdout.
//
//   gui_update FILE

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QTimer>

#include <cstdio>

#include "ui/FileDialog.h"
#include "ui/Resource.h"
#include "ui/UpdaterDlg.h"
#include "ui/WindowApp.h"
#include "ui/qt/QtDialogWindow.h"

namespace {

bool AllDescendantsDisabled(const QWidget& dialog)
{
    const auto children = dialog.findChildren<QWidget*>();
    for (const QWidget* w : children) {
        if (w->isWindow())
            continue;
        if (!w->testAttribute(Qt::WA_Disabled))
            return false;
    }
    return !children.isEmpty();
}

bool AnyDescendantDisabled(const QWidget& dialog)
{
    const auto children = dialog.findChildren<QWidget*>();
    for (const QWidget* w : children) {
        if (!w->isWindow() && w->testAttribute(Qt::WA_Disabled))
            return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Each line as it comes: the caller watches the output for progress.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc != 2) {
        std::fprintf(stderr, "uso: gui_update ARCHIVO\n");
        return 2;
    }
    wnd::Application toolkit(argc, argv);
    AfxSetAppName("tolvanex-updater");
    const std::string hexPath = argv[1];
    CFileDialog::SetRunner([&](CFileDialog& dialog) {
        dialog.SetPathName(hexPath);
        return IDOK;
    });

    CUpdaterDlg dialog;
    if (!dialog.Create())
        return 1;
    QWidget& window = *wnd::qt::WindowOf(dialog);
    const auto item = [&](int id) { return wnd::qt::Widget(dialog.GetDlgItem(id)); };
    static_cast<QAbstractButton*>(item(IDC_OPEN_HEX))->click();
    std::printf("CHECKSUM %s\n", qPrintable(static_cast<QLabel*>(item(IDC_CHECKSUM))->text()));

    auto* bar = static_cast<QProgressBar*>(item(IDC_PROGRESS));
    bool lockedSeen = false;
    bool dialogDisabledSeen = false;
    int barMax = 0;
    int boxes = 0;
    int exitCode = 1;

    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (AllDescendantsDisabled(window))
            lockedSeen = true;
        if (!window.isEnabled())
            dialogDisabledSeen = true;
        barMax = std::max(barMax, bar->value());
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            ++boxes;
            const QStringList lines = box->text().split(u'\n');
            std::printf("BOX %s\n", qPrintable(lines.value(0)));
            std::printf("BOX_REASON %s\n", qPrintable(lines.value(1)));
            std::printf("BAR_AT_BOX %d\n", bar->value());
            std::printf("REACHED %d\n", dialog.Updater().GetProgressReached());
            std::printf("CAPTION %s\n", qPrintable(box->windowTitle()));
            std::printf("CONTROLS_LOCKED_AT_BOX %d\n", AnyDescendantDisabled(window) ? 1 : 0);
            std::printf("CONTROLLER_CLOSED_AT_BOX %d\n", dialog.Updater().Device().IsClosed() ? 1 : 0);
            box->button(QMessageBox::Ok)->click();
            return;
        }
        if (boxes > 0 && !dialog.IsUpdateRunning()) {
            std::printf("CONTROLLER_CLOSED_AFTER %d\n", dialog.Updater().Device().IsClosed() ? 1 : 0);
            std::printf("LOCKED_SEEN %d\n", lockedSeen ? 1 : 0);
            std::printf("DIALOG_DISABLED_SEEN %d\n", dialogDisabledSeen ? 1 : 0);
            std::printf("BAR_MAX %d\n", barMax);
            std::printf("BAR_RANGE %d %d\n", bar->minimum(), bar->maximum());
            std::fflush(stdout);
            exitCode = 0;
            QApplication::quit();
        }
    });
    watch.start(1);

    // No time limit of its own: the caller stops it once nothing moves.
    QTimer::singleShot(0, [&] { static_cast<QAbstractButton*>(item(IDOK))->click(); });
    QApplication::exec();
    std::fflush(stdout);
    return exitCode;
}
