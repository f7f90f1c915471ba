#include "ui/qt/DialogUnits.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVariant>
#include <QWidget>

#include <cstdint>
#include <limits>
#include <string_view>

#include "ui/qt/AppIcon.h"

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

QFont DialogFont(const DialogTemplate& dialog)
{
    // Named outright: a face the font database lacks sends Qt through
    // fontconfig's whole list of fallbacks before any substitute.
    QString face = QString::fromUtf8(dialog.face);
    const QStringList installed = QFontDatabase::families();
    if (!installed.contains(face, Qt::CaseInsensitive)) {
        const QString simSun = QStringLiteral("SimSun");
        face = installed.contains(simSun, Qt::CaseInsensitive) ? simSun : QStringLiteral("AR PL UMing CN");
    }
    QFont font(face);
    font.setPointSize(dialog.pointSize);
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
    const QString text = QString::fromUtf8(control.text);
    const std::string_view windowClass = control.windowClass;
    if (windowClass == "button") {
        auto* button = new QPushButton(text, dialog);
        // As in the Windows dialog manager: a push button that has the focus is
        // the default while it has it, so Enter presses that button; elsewhere
        // Enter presses the template's default button.
        button->setAutoDefault(true);
        button->setDefault((control.style & ws::kBsTypeMask) == ws::kBsDefPushButton);
        return button;
    }
    if (windowClass == "edit") {
        // A line edit lays its text out once in the application's font before
        // it takes the dialog's: in the dialog's that costs nothing, in the
        // application's it would load a second face before the first paint.
        const QFont applicationFont = QApplication::font();
        QApplication::setFont(dialog->font());
        auto* edit = new QLineEdit(text, dialog);
        QApplication::setFont(applicationFont);
        return edit;
    }
    if (windowClass == "msctls_progress32") {
        auto* bar = new QProgressBar(dialog);
        bar->setRange(0, 100);  // the control's own default range until someone sets one
        bar->setValue(0);
        bar->setTextVisible(false);
        return bar;
    }
    if (windowClass == "listbox") {
        auto* list = new QListWidget(dialog);
        list->setWordWrap(true);
        list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        return list;
    }
    auto* label = new QLabel(dialog);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setText(text);
    if (control.style & ws::kSsSunken)
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return label;
}

}  // namespace

std::vector<QWidget*> CreateFromTemplate(QWidget* dialog, const DialogTemplate& tpl)
{
    const QFont font = DialogFont(tpl);
    dialog->setFont(font);
    const QSize base = DialogBaseUnits(font);
    dialog->setWindowTitle(QString::fromUtf8(tpl.caption));
    dialog->setFixedSize(DialogUnitsToPixels(QSize(tpl.cx, tpl.cy), base));

    std::vector<QWidget*> widgets;
    widgets.reserve(tpl.controls.size());
    QWidget* previousTabStop = nullptr;
    for (const ControlTemplate& control : tpl.controls) {
        QWidget* widget = CreateControl(dialog, control);
        widget->setProperty(kControlIdProperty, control.id);
        if (!(control.style & ws::kVisible))
            widget->hide();
        widget->setGeometry(DialogUnitsToPixels(QRect(control.x, control.y, control.cx, control.cy), base));
        // SS_ICON draws the icon from the control's top left corner, at most its size.
        if (std::string_view(control.windowClass) == "static" && (control.style & ws::kSsTypeMask) == ws::kSsIcon)
            static_cast<QLabel*>(widget)->setPixmap(AppIcon().pixmap(widget->size()));
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
