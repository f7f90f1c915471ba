#include "UiTestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>

#include <gtest/gtest.h>

#include "tests/support/Stall.h"
#include "ui/Dialog.h"

namespace uitest {

wnd::qt::QtDialogWindow* Win(const CDialog& dialog)
{
    return wnd::qt::WindowOf(dialog);
}

QWidget* Item(const CDialog& dialog, int id)
{
    return wnd::qt::Widget(dialog.GetDlgItem(id));
}

BoxAnswerer::BoxAnswerer(std::function<void(const SeenBox&)> onShown) : m_onShown(std::move(onShown))
{
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
    m_timer.start(5);
}

BoxAnswerer::~BoxAnswerer() = default;

std::vector<QString> BoxAnswerer::Texts() const
{
    std::vector<QString> texts;
    for (const SeenBox& box : m_seen)
        texts.push_back(box.text);
    return texts;
}

void BoxAnswerer::Poll()
{
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible() || box->property("answered").toBool())
        return;
    box->setProperty("answered", true);
    SeenBox seen;
    seen.text = box->text();
    seen.caption = box->windowTitle();
    seen.icon = box->icon();
    for (QAbstractButton* button : box->buttons())
        seen.buttons.push_back(button->text());
    seen.owner = box->parentWidget();
    seen.modal = box->isModal();
    m_seen.push_back(seen);
    if (m_onShown)
        m_onShown(seen);
    if (!box->buttons().isEmpty())
        box->buttons().front()->click();
}

bool PumpUntil(const std::function<bool()>& done, const std::function<std::size_t()>& progress)
{
    return stall::Until(
        "the dialog", done, [&] { return progress ? progress() : 0; },
        [] { QApplication::processEvents(QEventLoop::AllEvents, 5); });
}

void PumpFor(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
}

std::string DataRecord(std::uint16_t address, const std::vector<std::uint8_t>& bytes)
{
    static const char* const digits = "0123456789ABCDEF";
    std::vector<std::uint8_t> record{static_cast<std::uint8_t>(bytes.size()), static_cast<std::uint8_t>(address >> 8),
                                     static_cast<std::uint8_t>(address & 0xFF), 0x00};
    record.insert(record.end(), bytes.begin(), bytes.end());
    unsigned sum = 0;
    for (std::uint8_t b : record)
        sum += b;
    record.push_back(static_cast<std::uint8_t>((0x100 - (sum & 0xFF)) & 0xFF));
    std::string line = ":";
    for (std::uint8_t b : record) {
        line += digits[b >> 4];
        line += digits[b & 0xF];
    }
    return line + "\n";
}

std::string EndRecord()
{
    return ":00000001FF\n";
}

QString WriteFile(const QTemporaryDir& dir, const QString& name, const std::string& content)
{
    return WriteFile(dir.path(), name, content);
}

QString WriteFile(const QString& dirPath, const QString& name, const std::string& content)
{
    const QString path = dirPath + QLatin1Char('/') + name;
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content.data(), static_cast<qint64>(content.size()));
    return path;
}

}  // namespace uitest
