#include "ui/MessageBox.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace {

void Show(QWidget* owner, const QString& text, QMessageBox::Icon icon)
{
    QMessageBox box(icon, QCoreApplication::applicationName(), text, QMessageBox::Ok, owner);
    box.exec();
}

}  // namespace

void ShowMessageBox(QWidget* owner, const QString& text)
{
    Show(owner, text, QMessageBox::NoIcon);
}

void ShowStopBox(QWidget* owner, const QString& text)
{
    Show(owner, text, QMessageBox::Critical);
}
