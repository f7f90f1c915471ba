#include "app/AboutDlg.h"

#include <QLabel>
#include <QPushButton>
#include <QVariant>

#include <array>

#include "app/AppIcon.h"
#include "ui/DialogUnits.h"
#include "ui/Resource.h"

namespace {

const QSize kDialogSize(235, 55);

const std::array<ControlTemplate, 3> kControls = {{
    {IDC_STATIC, ControlKind::Icon, nullptr, 11, 15, 20, 20},
    {IDOK, ControlKind::DefPushButton, "OK", 178, 7, 50, 14},
    {IDC_STATIC, ControlKind::Static, kAboutText, 42, 21, 131, 10},
}};

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    const QFont font = DialogFont();
    setFont(font);
    const QSize base = DialogBaseUnits(font);
    setWindowTitle(QString::fromUtf8(kAboutCaption));
    setFixedSize(DialogUnitsToPixels(kDialogSize, base));

    const std::vector<QWidget*> controls = CreateControls(this, kControls, base);
    // SS_ICON draws the icon from the control's top left corner.
    auto* icon = static_cast<QLabel*>(controls[0]);
    icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    icon->setPixmap(AppIcon().pixmap(icon->size()));

    auto* ok = static_cast<QPushButton*>(controls[1]);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    ok->setFocus();
}

CAboutDlg::~CAboutDlg() = default;

QWidget* CAboutDlg::GetDlgItem(int id) const
{
    return FindDlgItem(this, id);
}
