#include "ui/FileDialog.h"

#include <QFileDialog>
#include <QStringList>

#include "ui/Resource.h"

namespace {

CFileDialog::Runner& CurrentRunner()
{
    static CFileDialog::Runner runner;
    return runner;
}

constexpr qsizetype kMaxFileName = 259;

}  // namespace

CFileDialog::CFileDialog(bool openFileDialog, const QString& defaultExtension, const QString& fileName,
                         unsigned flags, const QString& filter, QWidget* owner)
    : m_open(openFileDialog),
      m_defaultExtension(defaultExtension),
      m_fileName(fileName.left(kMaxFileName)),
      m_flags(flags),
      m_owner(owner)
{
    // Pairs of description and pattern; an empty description ends the list.
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size() && !parts[i].isEmpty(); i += 2)
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
    return RunQtDialog();
}

int CFileDialog::RunQtDialog()
{
    QFileDialog dialog(m_owner);
    dialog.setAcceptMode(m_open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    if (m_open)
        dialog.setFileMode(QFileDialog::ExistingFile);
    // Qt reads the patterns out of the text in brackets at the end of each
    // name, so trailing blanks cannot stay there.
    QStringList names;
    for (const auto& [description, pattern] : m_filters) {
        const QString trimmed = description.trimmed();
        const QString bracketed = QLatin1Char('(') + pattern + QLatin1Char(')');
        names << (trimmed.endsWith(bracketed) ? trimmed : trimmed + QLatin1Char(' ') + bracketed);
    }
    dialog.setNameFilters(names);
    if (!names.isEmpty())
        dialog.selectNameFilter(names.front());
    // Qt puts its own dot before the suffix: "*.hex" would turn a typed "fw"
    // into "fw.*.hex", so Qt gets the bare extension.
    QString suffix = m_defaultExtension;
    if (suffix.startsWith(QLatin1String("*.")))
        suffix.remove(0, 2);
    dialog.setDefaultSuffix(suffix);
    if (!m_fileName.isEmpty())
        dialog.selectFile(m_fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return IDCANCEL;
    m_pathName = dialog.selectedFiles().front();
    return IDOK;
}
