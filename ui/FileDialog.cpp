#include "ui/FileDialog.h"

#include "sys/Utf16.h"
#include "ui/Dialog.h"
#include "ui/Resource.h"

namespace {

CFileDialog::Runner& CurrentRunner()
{
    static CFileDialog::Runner runner;
    return runner;
}

constexpr std::size_t kMaxFileName = 259;  // UTF-16 units, as the Windows buffer counts them

}  // namespace

CFileDialog::CFileDialog(bool openFileDialog, std::string defaultExtension, const std::string& fileName, unsigned flags,
                         const std::string& filter, CDialog* owner)
    : m_open(openFileDialog), m_defaultExtension(std::move(defaultExtension)), m_flags(flags), m_owner(owner)
{
    std::u16string name = Utf8ToUtf16(fileName);
    if (name.size() > kMaxFileName) {
        name.resize(kMaxFileName);
        if (name.back() >= 0xD800 && name.back() <= 0xDBFF)
            name.pop_back();  // never half a character
    }
    m_fileName = Utf16ToUtf8(name);

    // Pairs of description and pattern; an empty description ends the list.
    std::vector<std::string> parts;
    for (std::size_t start = 0;;) {
        const std::size_t bar = filter.find('|', start);
        parts.push_back(filter.substr(start, bar - start));
        if (bar == std::string::npos)
            break;
        start = bar + 1;
    }
    for (std::size_t i = 0; i + 1 < parts.size() && !parts[i].empty(); i += 2)
        m_filters.emplace_back(parts[i], parts[i + 1]);
}

CFileDialog::Runner CFileDialog::SetRunner(Runner runner)
{
    return std::exchange(CurrentRunner(), std::move(runner));
}

int CFileDialog::DoModal()
{
    if (const Runner& runner = CurrentRunner())
        return runner(*this);
    wnd::OpenFileName ofn;
    ofn.owner = m_owner ? m_owner->GetSafeHwnd() : nullptr;
    ofn.filters = m_filters;
    // Without its "*.", so that a typed "fw" becomes "fw.hex".
    ofn.defaultExtension = m_defaultExtension.starts_with("*.") ? m_defaultExtension.substr(2) : m_defaultExtension;
    ofn.fileName = m_fileName;
    ofn.flags = m_flags;
    ofn.title = m_title;
    if (!wnd::RunOpenFileDialog(ofn))
        return IDCANCEL;
    m_pathName = ofn.fileName;
    return IDOK;
}
