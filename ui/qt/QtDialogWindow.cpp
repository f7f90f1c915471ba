#include "ui/qt/QtDialogWindow.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTimerEvent>

#include "ui/Dialog.h"
#include "ui/DialogTemplate.h"
#include "ui/Resource.h"
#include "ui/qt/AppIcon.h"
#include "ui/qt/DialogUnits.h"

namespace wnd::qt {

QtDialogWindow::QtDialogWindow(CDialog& dialog, QWidget* owner) : QDialog(owner), m_dialog(dialog)
{
    // A fixed frame with a caption, a system menu and a close box: no
    // minimize, maximize or sizing border.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
}

QtDialogWindow::~QtDialogWindow()
{
    qApp->removeEventFilter(this);
    m_dialog.HandleDestroy();
}

bool QtDialogWindow::Build()
{
    const DialogTemplate* tpl = FindDialogTemplate(m_dialog.TemplateId());
    if (tpl == nullptr)
        return false;
    for (QWidget* control : CreateFromTemplate(this, *tpl)) {
        if (auto* button = qobject_cast<QPushButton*>(control)) {
            const int id = control->property(kControlIdProperty).toInt();
            connect(button, &QPushButton::clicked, this, [this, id] { m_dialog.HandleCommand(id); });
        } else if (auto* list = qobject_cast<QListWidget*>(control)) {
            // LBN_DBLCLK: a double click, or Enter, on an item.
            const int id = control->property(kControlIdProperty).toInt();
            connect(list, &QListWidget::itemActivated, this, [this, id] { m_dialog.HandleCommand(id); });
        }
    }
    // Alt+Space opens the system menu before any control sees it.
    qApp->installEventFilter(this);

    // WM_INITDIALOG; TRUE gives the focus to the first tab stop.
    if (m_dialog.HandleInitDialog(ToHandle(this))) {
        for (QObject* child : children()) {
            auto* control = qobject_cast<QWidget*>(child);
            if (control && !control->isWindow() && (control->focusPolicy() & Qt::TabFocus)) {
                control->setFocus();
                break;
            }
        }
    }
    m_initialised = true;
    return true;
}

QMenu* QtDialogWindow::SystemMenu()
{
    if (m_systemMenu == nullptr)
        m_systemMenu = new QMenu(this);
    return m_systemMenu;
}

void QtDialogWindow::SysCommand(unsigned id)
{
    if (m_dialog.HandleSysCommand(id, 0))
        return;
    switch (id & 0xFFF0) {
    case kScClose:
        close();
        break;
    case kScMinimize:
        showMinimized();
        break;
    default:
        break;
    }
}

void QtDialogWindow::OpenSystemMenu(const QPoint& at)
{
    if (m_systemMenu == nullptr || m_systemMenu->isEmpty())
        return;
    if (QAction* chosen = m_systemMenu->exec(at); chosen && chosen->data().isValid())
        SysCommand(chosen->data().toUInt());
}

bool QtDialogWindow::StartTimer(std::uintptr_t id, unsigned elapseMs)
{
    StopTimer(id);
    const int qtId = startTimer(static_cast<int>(elapseMs), Qt::PreciseTimer);
    if (qtId == 0)
        return false;
    m_timers[id] = qtId;
    return true;
}

bool QtDialogWindow::StopTimer(std::uintptr_t id)
{
    const auto found = m_timers.find(id);
    if (found == m_timers.end())
        return false;
    killTimer(found->second);
    m_timers.erase(found);
    return true;
}

void QtDialogWindow::EndModal(int result)
{
    QDialog::done(result);
}

void QtDialogWindow::setVisible(bool visible)
{
    // Centred before it is first shown, and again once the frame is known.
    const bool first = visible && !isVisible() && !testAttribute(Qt::WA_WState_ExplicitShowHide);
    if (first)
        CenterWindow();
    QDialog::setVisible(visible);
    if (first)
        CenterWindow();
}

void QtDialogWindow::CenterWindow()
{
    // Over the owner, or in the middle of the work area when there is none.
    QRect area;
    if (QWidget* owner = parentWidget())
        area = owner->window()->frameGeometry();
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    else
        return;
    const QSize outer = frameGeometry().size();
    move(area.x() + (area.width() - outer.width()) / 2, area.y() + (area.height() - outer.height()) / 2);
}

void QtDialogWindow::accept()
{
    m_dialog.HandleCommand(IDOK);
}

void QtDialogWindow::reject()
{
    m_dialog.HandleCommand(IDCANCEL);  // Escape and the close box
}

bool QtDialogWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != this)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Space || key->modifiers() != Qt::AltModifier)
        return false;
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept();  // keeps the key from becoming somebody's shortcut
        return true;
    }
    OpenSystemMenu(mapToGlobal(QPoint(0, 0)));
    return true;
}

void QtDialogWindow::SetIcon(const QIcon& icon)
{
    m_icon = icon;
    setWindowIcon(m_painted ? icon : EarlyIcon(icon));
}

void QtDialogWindow::CompleteIcons()
{
    if (!m_icon.isNull())
        setWindowIcon(m_icon);
    if (const QIcon whole = AppIcon(); QGuiApplication::windowIcon().cacheKey() != whole.cacheKey())
        QGuiApplication::setWindowIcon(whole);
}

void QtDialogWindow::paintEvent(QPaintEvent* event)
{
    if (!m_initialised || !m_dialog.HandlePaint())
        QDialog::paintEvent(event);
    if (!m_painted) {
        m_painted = true;
        // Once this paint has reached the screen.
        QMetaObject::invokeMethod(this, &QtDialogWindow::CompleteIcons, Qt::QueuedConnection);
    }
}

void QtDialogWindow::timerEvent(QTimerEvent* event)
{
    for (const auto& [id, qtId] : m_timers) {
        if (qtId == event->timerId()) {
            m_dialog.HandleTimer(id);
            return;
        }
    }
    QDialog::timerEvent(event);
}

void QtDialogWindow::contextMenuEvent(QContextMenuEvent* event)
{
    OpenSystemMenu(event->globalPos());
}

QtDialogWindow* WindowOf(const CDialog& dialog)
{
    return static_cast<QtDialogWindow*>(Widget(dialog.GetSafeHwnd()));
}

}  // namespace wnd::qt
