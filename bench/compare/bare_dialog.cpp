// The yardstick for the updater window's start: a bare Qt dialog with one
// label, built and started the same way, and timed to its first paint by the
// same report as ours.
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/qt/FirstPaintReport.h"

namespace {

class Application final : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        const bool handled = QApplication::notify(receiver, event);
        m_firstPaint.Handled(receiver, event);
        return handled;
    }

private:
    FirstPaintReport m_firstPaint;
};

}  // namespace

int main(int argc, char** argv)
{
    Application app(argc, argv);
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("Hola")));
    dialog.show();
    return app.exec();
}
