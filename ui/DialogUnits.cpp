#include "ui/DialogUnits.h"

#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVariant>
#include <QWidget>

#include <cstdint>
#include <limits>

int MulDiv(int number, int numerator, int denominator)
{
    if (denominator == 0)
        return -1;
    const std::int64_t product = static_cast<std::int64_t>(number) * numerator;
    const bool negative = (product < 0) != (denominator < 0);
    const std::int64_t magnitude = product < 0 ? -product : product;
    const std::int64_t divisor = denominator < 0 ? -static_cast<std::int64_t>(denominator) : denominator;
    const std::int64_t quotient = (magnitude + divisor / 2) / divisor;
    if (quotient > std::numeric_limits<int>::max())
        return -1;
    return static_cast<int>(negative ? -quotient : quotient);
}

QFont DialogFont()
{
    static const QString face = QString::fromUtf8("宋体");
    static const bool substituted = [] {
        QFont::insertSubstitution(face, QStringLiteral("AR PL UMing CN"));
        QFont::insertSubstitution(QStringLiteral("SimSun"), QStringLiteral("AR PL UMing CN"));
        return true;
    }();
    (void)substituted;
    QFont font(face);
    font.setPointSize(9);
    return font;
}

QSize DialogBaseUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return QSize((width / 26 + 1) / 2, metrics.height());
}

QRect DialogUnitsToPixels(const QRect& dialogUnits, QSize base)
{
    return QRect(MulDiv(dialogUnits.x(), base.width(), 4), MulDiv(dialogUnits.y(), base.height(), 8),
                 MulDiv(dialogUnits.width(), base.width(), 4), MulDiv(dialogUnits.height(), base.height(), 8));
}

QSize DialogUnitsToPixels(QSize dialogUnits, QSize base)
{
    return QSize(MulDiv(dialogUnits.width(), base.width(), 4), MulDiv(dialogUnits.height(), base.height(), 8));
}

namespace {

QWidget* CreateControl(QWidget* dialog, const ControlTemplate& control)
{
    const QString text = QString::fromUtf8(control.text ? control.text : "");
    switch (control.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: {
        auto* button = new QPushButton(text, dialog);
        button->setAutoDefault(false);
        button->setDefault(control.kind == ControlKind::DefPushButton);
        return button;
    }
    case ControlKind::Static:
    case ControlKind::SunkenStatic: {
        auto* label = new QLabel(text, dialog);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        if (control.kind == ControlKind::SunkenStatic)
            label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        return label;
    }
    case ControlKind::Edit: {
        auto* edit = new QLineEdit(text, dialog);
        return edit;
    }
    case ControlKind::Progress: {
        auto* bar = new QProgressBar(dialog);
        bar->setRange(0, 100);  // the control's own default range until someone sets one
        bar->setValue(0);
        bar->setTextVisible(false);
        return bar;
    }
    case ControlKind::Icon:
        return new QLabel(dialog);
    }
    return nullptr;
}

}  // namespace

std::vector<QWidget*> CreateControls(QWidget* dialog, std::span<const ControlTemplate> controls, QSize base)
{
    std::vector<QWidget*> widgets;
    widgets.reserve(controls.size());
    QWidget* previousTabStop = nullptr;
    for (const ControlTemplate& control : controls) {
        QWidget* widget = CreateControl(dialog, control);
        widget->setProperty(kControlIdProperty, control.id);
        widget->setGeometry(DialogUnitsToPixels(QRect(control.x, control.y, control.cx, control.cy), base));
        if (widget->focusPolicy() & Qt::TabFocus) {
            if (previousTabStop)
                QWidget::setTabOrder(previousTabStop, widget);
            previousTabStop = widget;
        }
        widgets.push_back(widget);
    }
    return widgets;
}

QWidget* FindDlgItem(const QWidget* dialog, int id)
{
    for (QObject* child : dialog->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget && !widget->isWindow() && widget->property(kControlIdProperty) == id)
            return widget;
    }
    return nullptr;
}
