#pragma once
// The open-file dialog of "Abrir HEX", described the way the Windows common
// dialog takes it. DoModal shows a Qt file dialog, unless a runner has been
// put in place (tests answer the dialog that way).

#include <QString>

#include <functional>
#include <utility>
#include <vector>

class QWidget;

constexpr unsigned OFN_HIDEREADONLY = 0x4;
constexpr unsigned OFN_OVERWRITEPROMPT = 0x2;

class CFileDialog {
public:
    // `filter` is "description|pattern|...||". The name buffer holds 260
    // characters with the terminator, so at most 259 of `fileName` are kept.
    CFileDialog(bool openFileDialog, const QString& defaultExtension, const QString& fileName, unsigned flags,
                const QString& filter, QWidget* owner);

    // IDOK or IDCANCEL.
    int DoModal();
    QString GetPathName() const { return m_pathName; }

    bool IsOpenDialog() const { return m_open; }
    const QString& DefaultExtension() const { return m_defaultExtension; }
    const QString& FileName() const { return m_fileName; }
    unsigned Flags() const { return m_flags; }
    // (description, pattern) pairs in order; the first is selected.
    const std::vector<std::pair<QString, QString>>& Filters() const { return m_filters; }
    QWidget* Owner() const { return m_owner; }

    // Runs in place of the Qt dialog: returns IDOK or IDCANCEL and, for IDOK,
    // calls SetPathName. An empty runner puts the Qt dialog back. Returns the previous one.
    using Runner = std::function<int(CFileDialog& dialog)>;
    static Runner SetRunner(Runner runner);
    void SetPathName(const QString& path) { m_pathName = path; }

private:
    int RunQtDialog();

    bool m_open;
    QString m_defaultExtension;
    QString m_fileName;
    unsigned m_flags;
    std::vector<std::pair<QString, QString>> m_filters;
    QWidget* m_owner;
    QString m_pathName;
};
