// The window services with Qt widgets. Handles are QWidget pointers, menus
// QMenu pointers, icons QIcon pointers. Widgets belong to the UI thread: a
// call from the worker is handed over to it and waits, as SendMessage does.

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QStyle>

#include <algorithm>
#include <memory>
#include <system_error>
#include <thread>

#include "ui/Dialog.h"
#include "ui/DialogTemplate.h"
#include "ui/WindowPlatform.h"
#include "ui/qt/AppIcon.h"
#include "ui/qt/DialogUnits.h"
#include "ui/qt/QtDialogWindow.h"
#include "ui/qt/UiThread.h"

namespace wnd {

using qt::QtDialogWindow;
using qt::ToHandle;
using qt::Widget;

namespace {

QtDialogWindow* NewWindow(CDialog& dialog, Handle owner)
{
    auto window = std::make_unique<QtDialogWindow>(dialog, Widget(owner));
    if (!window->Build())
        return nullptr;
    return window.release();
}

QtDialogWindow* DialogWindow(Handle window)
{
    return qobject_cast<QtDialogWindow*>(Widget(window));
}

// Runs `call` on the UI thread and waits for it.
template <class Call>
void OnUiThread(Handle window, Call call)
{
    SendToWindow(Widget(window), call);
}

// Qt's file list formats sizes and dates in the system's locale, whatever
// QLocale::setDefault says; this puts them in the program's (Spanish), and
// starts each type with a capital, as "Carpeta" does.
class FileListInOurLocale final : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex& index, int role) const override
    {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (role != Qt::DisplayRole || files == nullptr)
            return QIdentityProxyModel::data(index, role);
        const QModelIndex source = mapToSource(index);
        const QLocale locale;
        switch (index.column()) {
        case 1:
            if (!files->isDir(source))
                return locale.formattedDataSize(files->size(source));
            break;
        case 2: {
            QString type = QIdentityProxyModel::data(index, role).toString();
            if (!type.isEmpty())
                type[0] = locale.toUpper(type.left(1)).at(0);
            return type;
        }
        case 3:
            return locale.toString(files->lastModified(source), QStringLiteral("d MMM yyyy H:mm"));
        default:
            break;
        }
        return QIdentityProxyModel::data(index, role);
    }
};

void CollectChildWindows(QWidget* parent, std::vector<QWidget*>& out)
{
    for (QObject* child : parent->children()) {
        auto* window = qobject_cast<QWidget*>(child);
        if (!window || window->isWindow())
            continue;
        out.push_back(window);
        CollectChildWindows(window, out);
    }
}

}  // namespace

std::intptr_t RunModal(CDialog& dialog, Handle owner)
{
    std::unique_ptr<QtDialogWindow> window(NewWindow(dialog, owner));
    if (!window)
        return -1;
    return window->exec();
}

Handle CreateModeless(CDialog& dialog, Handle owner)
{
    QtDialogWindow* window = NewWindow(dialog, owner);
    if (window == nullptr)
        return nullptr;
    if (FindDialogTemplate(dialog.TemplateId())->style & ws::kVisible)
        window->show();
    return ToHandle(window);
}

void EndModal(Handle dialog, std::intptr_t result)
{
    if (QtDialogWindow* window = DialogWindow(dialog))
        window->EndModal(static_cast<int>(result));
}

void DestroyDialogWindow(Handle dialog)
{
    delete DialogWindow(dialog);
}

Handle GetDlgItem(Handle dialog, int id)
{
    return ToHandle(FindDlgItem(Widget(dialog), id));
}

void SetText(Handle window, const std::string& text)
{
    OnUiThread(window, [&] {
        const QString value = QString::fromStdString(text);
        if (auto* label = qobject_cast<QLabel*>(Widget(window)))
            label->setText(value);
        else if (auto* edit = qobject_cast<QLineEdit*>(Widget(window)))
            edit->setText(value);
        else if (auto* button = qobject_cast<QAbstractButton*>(Widget(window)))
            button->setText(value);
        else
            Widget(window)->setWindowTitle(value);
    });
}

std::string GetText(Handle window)
{
    QString value;
    OnUiThread(window, [&] {
        if (auto* label = qobject_cast<QLabel*>(Widget(window)))
            value = label->text();
        else if (auto* edit = qobject_cast<QLineEdit*>(Widget(window)))
            value = edit->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(Widget(window)))
            value = button->text();
        else
            value = Widget(window)->windowTitle();
    });
    return value.toStdString();
}

void EnumChildWindows(Handle parent, bool (*callback)(Handle, void*), void* param)
{
    // The list is taken first, on the UI thread; the callbacks run here.
    std::vector<QWidget*> windows;
    OnUiThread(parent, [&] { CollectChildWindows(Widget(parent), windows); });
    for (QWidget* window : windows) {
        if (!callback(ToHandle(window), param))
            break;
    }
}

bool IsWindowEnabled(Handle window)
{
    // The widget's own flag, as setEnabled left it, not what its parent makes
    // of it: Qt keeps that in WA_ForceDisabled (WA_Disabled follows the parent too).
    bool enabled = false;
    OnUiThread(window, [&] { enabled = !Widget(window)->testAttribute(Qt::WA_ForceDisabled); });
    return enabled;
}

void EnableWindow(Handle window, bool enable)
{
    OnUiThread(window, [&] { Widget(window)->setEnabled(enable); });
}

void SendProgressRange(Handle bar, int low, int high)
{
    OnUiThread(bar, [&] { static_cast<QProgressBar*>(Widget(bar))->setRange(low, high); });
}

void SendProgressPos(Handle bar, int position)
{
    OnUiThread(bar, [&] {
        auto* progress = static_cast<QProgressBar*>(Widget(bar));
        // The Windows bar clamps a position to its range; Qt's would ignore it.
        progress->setValue(std::clamp(position, progress->minimum(), progress->maximum()));
    });
}

bool SetTimer(Handle window, std::uintptr_t id, unsigned elapseMs)
{
    bool started = false;
    OnUiThread(window, [&] {
        if (QtDialogWindow* dialog = DialogWindow(window))
            started = dialog->StartTimer(id, elapseMs);
    });
    return started;
}

bool KillTimer(Handle window, std::uintptr_t id)
{
    bool stopped = false;
    OnUiThread(window, [&] {
        if (QtDialogWindow* dialog = DialogWindow(window))
            stopped = dialog->StopTimer(id);
    });
    return stopped;
}

int ShowMessageBox(Handle owner, const std::string& text, const std::string& caption, unsigned type)
{
    const auto show = [&] {
        const QMessageBox::Icon icon = (type & kMbIconStop) ? QMessageBox::Critical : QMessageBox::NoIcon;
        QMessageBox box(icon, QString::fromStdString(caption), QString::fromStdString(text), QMessageBox::Ok,
                        Widget(owner));
        box.setTextFormat(Qt::PlainText);  // a file name is no markup
        box.exec();
    };
    if (owner != nullptr)
        OnUiThread(owner, show);
    else
        show();
    return 1;  // IDOK
}

Menu GetSystemMenu(Handle window, bool)
{
    QtDialogWindow* dialog = DialogWindow(window);
    return dialog ? static_cast<void*>(dialog->SystemMenu()) : nullptr;
}

bool AppendMenuItem(Menu menu, unsigned flags, std::uintptr_t id, const std::string& text)
{
    auto* qtMenu = static_cast<QMenu*>(menu);
    if (flags & kMfSeparator) {
        qtMenu->addSeparator();
    } else {
        QAction* action = qtMenu->addAction(QString::fromStdString(text));
        action->setData(static_cast<uint>(id));
    }
    return true;
}

std::string LoadStringResource(unsigned id)
{
    return FindStringResource(id);
}

Icon LoadAppIcon()
{
    // Made once, after the application object, and kept to the end.
    static QIcon* const icon = new QIcon(AppIcon());
    return icon;
}

void SetIcon(Handle window, Icon icon, bool)
{
    const QIcon& qtIcon = *static_cast<QIcon*>(icon);
    if (QtDialogWindow* dialog = DialogWindow(window))
        dialog->SetIcon(qtIcon);
    else
        Widget(window)->setWindowIcon(qtIcon);
}

void ListSetItems(Handle list, const std::vector<ListItem>& items)
{
    OnUiThread(list, [&] {
        auto* widget = static_cast<QListWidget*>(Widget(list));
        widget->clear();
        for (const ListItem& item : items) {
            // The description under the line, as the page shows it.
            QString text = QString::fromStdString(ListItemLine(item));
            if (!item.description.empty())
                text += '\n' + QString::fromStdString(item.description);
            auto* row = new QListWidgetItem(text, widget);
            row->setData(Qt::UserRole, QString::fromStdString(item.key));
        }
    });
}

int ListCurSel(Handle list)
{
    int row = -1;
    OnUiThread(list, [&] { row = static_cast<QListWidget*>(Widget(list))->currentRow(); });
    return row;
}

void ShowWindow(Handle window, bool show)
{
    OnUiThread(window, [&] { Widget(window)->setVisible(show); });
}

bool IsIconic(Handle window)
{
    return Widget(window)->isMinimized();
}

void ClientSize(Handle window, int* width, int* height)
{
    *width = Widget(window)->width();
    *height = Widget(window)->height();
}

void IconMetrics(int* width, int* height)
{
    *width = *height = QApplication::style()->pixelMetric(QStyle::PM_LargeIconSize);
}

void PaintIconAt(Handle window, Icon icon, int x, int y)
{
    int width = 0, height = 0;
    IconMetrics(&width, &height);
    QPainter painter(Widget(window));
    static_cast<QIcon*>(icon)->paint(&painter, QRect(x, y, width, height));
}

bool RunOpenFileDialog(OpenFileName& ofn)
{
    QFileDialog dialog(Widget(ofn.owner));
    dialog.setProxyModel(new FileListInOurLocale(&dialog));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // Qt takes the patterns from the last brackets of each name; it gets its
    // own, hidden, so that the descriptions show as they are written. "*.*"
    // matches every file on Windows, names without a dot too: here that is "*".
    QStringList names;
    for (const auto& [description, pattern] : ofn.filters) {
        const QString qtPattern = pattern == "*.*" ? QStringLiteral("*") : QString::fromStdString(pattern);
        names << QString::fromStdString(description).trimmed() + QStringLiteral(" (") + qtPattern + QLatin1Char(')');
    }
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(names);
    if (!names.isEmpty())
        dialog.selectNameFilter(names.front());
    dialog.setDefaultSuffix(QString::fromStdString(ofn.defaultExtension));
    if (!ofn.fileName.empty())
        dialog.selectFile(QString::fromStdString(ofn.fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    ofn.fileName = dialog.selectedFiles().front().toStdString();
    return true;
}

bool BeginThread(unsigned (*proc)(void*), void* param)
{
    try {
        std::thread(proc, param).detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

void SendCall(Handle window, const std::function<void()>& call)
{
    SendToWindow(Widget(window), call);
}

std::string ModulePath()
{
    return QCoreApplication::applicationFilePath().toStdString();
}

std::string StartPath()
{
    // applicationFilePath() is /proc/self/exe, where a link is already resolved.
    const QString called = QCoreApplication::arguments().value(0);
    return QFileInfo(called).fileName().isEmpty() ? ModulePath() : called.toStdString();
}

void BeginWaitCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void EndWaitCursor()
{
    QApplication::restoreOverrideCursor();
}

}  // namespace wnd
