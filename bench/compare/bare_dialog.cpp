// The yardstick for the updater window's start: a bare Qt dialog with one
// label, built and started the same way.
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QVBoxLayout>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("Hola")));
    dialog.show();
    return app.exec();
}
