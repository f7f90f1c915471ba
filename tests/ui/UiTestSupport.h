#pragma once
// Helpers for the dialog tests: a QApplication for the whole run, an answerer
// for modal message boxes, HEX files on disk and event pumping.

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/qt/QtDialogWindow.h"

class CDialog;

namespace uitest {

// The Qt window of a created dialog, and one of its controls.
wnd::qt::QtDialogWindow* Win(const CDialog& dialog);
QWidget* Item(const CDialog& dialog, int id);

// What a message box looked like when it was answered.
struct SeenBox {
    QString text;
    QString caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    std::vector<QString> buttons;  // texts, in order
    QWidget* owner = nullptr;
    bool modal = false;
};

// Watches for modal message boxes and presses their first button, running
// `onShown` first (on the UI thread, while the box is up).
class BoxAnswerer {
public:
    explicit BoxAnswerer(std::function<void(const SeenBox&)> onShown = {});
    ~BoxAnswerer();
    const std::vector<SeenBox>& Seen() const { return m_seen; }
    std::vector<QString> Texts() const;

private:
    void Poll();

    QTimer m_timer;
    std::function<void(const SeenBox&)> m_onShown;
    std::vector<SeenBox> m_seen;
};

// Pumps events until `done` holds: true; false, the test failed as stalled,
// once `progress` (if given) has not changed for a minute.
bool PumpUntil(const std::function<bool()>& done, const std::function<std::size_t()>& progress = {});
void PumpFor(int ms);

// One Intel HEX data record (checksum included) and the end record.
std::string DataRecord(std::uint16_t address, const std::vector<std::uint8_t>& bytes);
std::string EndRecord();

// Writes `content` to `name` in `dir` and returns the full path.
QString WriteFile(const QTemporaryDir& dir, const QString& name, const std::string& content);
QString WriteFile(const QString& dirPath, const QString& name, const std::string& content);

}  // namespace uitest
