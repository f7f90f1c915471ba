#pragma once
// The maker's published releases in a window of their own (template
// IDD_RELEASES): a line for what the chooser has to say, hidden while it has
// nothing to say, and the list, newest first. The chooser fetches nothing and
// loads nothing: the releases come from its host, and a choice goes back to
// it, which downloads, checks and loads the release (the page does so today;
// the desktop windows can open the same chooser).

#include <cstddef>
#include <string>
#include <vector>

#include "firmware/Catalogue.h"
#include "ui/Dialog.h"
#include "ui/Resource.h"

class CReleaseChooserDlg : public CDialog {
public:
    static constexpr int IDD = IDD_RELEASES;

    // Whoever opened the chooser.
    class Host {
    public:
        virtual ~Host() = default;
        // The user chose the release at `index` of the list last given.
        virtual void ReleaseChosen(std::size_t index) = 0;
        // Escape (the chooser has no close box): the host decides whether
        // it goes. The page keeps it beside the dialog.
        virtual void ChooserClosed() {}
    };

    explicit CReleaseChooserDlg(Host& host, CDialog* parent = nullptr);

    // The list, newest first; the first is marked as the newest.
    void SetReleases(const std::vector<CatalogueRelease>& releases);
    // The line above the list; empty hides it.
    void Say(const std::string& text);

    // A release as the list shows it.
    static wnd::ListItem ItemOf(const CatalogueRelease& release, bool newest);

protected:
    bool OnCommand(int id) override;
    // Enter: the release chosen in the list, if any.
    void OnOK() override;
    void OnCancel() override;

private:
    void ChooseSelected();

    Host& m_host;
    std::size_t m_count = 0;
};
