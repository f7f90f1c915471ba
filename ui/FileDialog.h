#pragma once
// The open-file dialog of "Abrir HEX", described the way the Windows common
// dialog takes it. DoModal shows the platform's dialog, unless a runner has
// been put in place (tests answer the dialog that way).

#include <functional>
#include <string>
#include <utility>
#include <vector>

class CDialog;

constexpr unsigned OFN_OVERWRITEPROMPT = 0x2;
constexpr unsigned OFN_HIDEREADONLY = 0x4;

class CFileDialog {
public:
    // `filter` is "description|pattern|...||". The name buffer holds 260
    // characters with the terminator, so at most 259 of `fileName` are kept.
    CFileDialog(bool openFileDialog, std::string defaultExtension, const std::string& fileName, unsigned flags,
                const std::string& filter, CDialog* owner);

    // IDOK or IDCANCEL.
    int DoModal();
    const std::string& GetPathName() const { return m_pathName; }

    bool IsOpenDialog() const { return m_open; }
    const std::string& DefaultExtension() const { return m_defaultExtension; }
    const std::string& FileName() const { return m_fileName; }
    unsigned Flags() const { return m_flags; }
    // (description, pattern) pairs in order; the first is selected.
    const std::vector<std::pair<std::string, std::string>>& Filters() const { return m_filters; }
    CDialog* Owner() const { return m_owner; }
    // The dialog's caption; empty leaves the system's, in its own language.
    void SetTitle(std::string title) { m_title = std::move(title); }
    const std::string& Title() const { return m_title; }

    // Runs in place of the platform's dialog: returns IDOK or IDCANCEL and,
    // for IDOK, calls SetPathName. An empty runner puts the platform's dialog
    // back. Returns the previous one.
    using Runner = std::function<int(CFileDialog& dialog)>;
    static Runner SetRunner(Runner runner);
    void SetPathName(std::string path) { m_pathName = std::move(path); }

private:
    bool m_open;
    std::string m_defaultExtension;
    std::string m_fileName;
    unsigned m_flags;
    std::vector<std::pair<std::string, std::string>> m_filters;
    CDialog* m_owner;
    std::string m_title;
    std::string m_pathName;
};
