#include "ui/ReleaseChooserDlg.h"

CReleaseChooserDlg::CReleaseChooserDlg(Host& host, CDialog* parent) : CDialog(IDD, parent), m_host(host)
{
}

wnd::ListItem CReleaseChooserDlg::ItemOf(const CatalogueRelease& release, bool newest)
{
    return {release.version, "Versión " + release.version, release.date, newest ? "(la más reciente)" : "",
            release.notes};
}

void CReleaseChooserDlg::SetReleases(const std::vector<CatalogueRelease>& releases)
{
    std::vector<wnd::ListItem> items;
    items.reserve(releases.size());
    for (std::size_t i = 0; i < releases.size(); ++i)
        items.push_back(ItemOf(releases[i], i == 0));
    wnd::ListSetItems(GetDlgItem(IDC_RELEASE_LIST), items);
    m_count = items.size();
}

void CReleaseChooserDlg::Say(const std::string& text)
{
    const wnd::Handle line = GetDlgItem(IDC_RELEASE_STATUS);
    wnd::SetText(line, text);
    wnd::ShowWindow(line, !text.empty());
}

bool CReleaseChooserDlg::OnCommand(int id)
{
    if (id == IDC_RELEASE_LIST) {
        ChooseSelected();
        return true;
    }
    return CDialog::OnCommand(id);
}

void CReleaseChooserDlg::OnOK()
{
    ChooseSelected();
}

void CReleaseChooserDlg::OnCancel()
{
    m_host.ChooserClosed();
}

void CReleaseChooserDlg::ChooseSelected()
{
    const wnd::Handle list = GetDlgItem(IDC_RELEASE_LIST);
    // What the lock-out disabled chooses nothing, whatever reaches it.
    if (!wnd::IsWindowEnabled(list))
        return;
    const int chosen = wnd::ListCurSel(list);
    if (chosen >= 0 && static_cast<std::size_t>(chosen) < m_count)
        m_host.ReleaseChosen(static_cast<std::size_t>(chosen));
}
