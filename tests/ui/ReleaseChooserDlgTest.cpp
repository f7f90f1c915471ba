// The release chooser in its own window: the list its host gives, a choice
// back to the host, the line above the list, and the update's lock-out.

#include <QLabel>
#include <QListWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "UiTestSupport.h"
#include "ui/ReleaseChooserDlg.h"
#include "ui/Resource.h"
#include "ui/UpdaterDlg.h"

using uitest::Item;
using uitest::Win;

namespace {

struct Host : CReleaseChooserDlg::Host {
    std::vector<std::size_t> chosen;
    int closed = 0;
    void ReleaseChosen(std::size_t index) override { chosen.push_back(index); }
    void ChooserClosed() override { ++closed; }
};

CatalogueRelease Release(const char* version, const char* date, const char* notes)
{
    CatalogueRelease r;
    r.version = version;
    r.date = date;
    r.file = std::string("releases/") + version + ".hex";
    r.notes = notes;
    return r;
}

class ReleaseChooserTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(chooser.Create());
        Win(chooser)->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Win(chooser)));
        chooser.SetReleases({Release("1.2", "2026-11-30", "Corrige el eje X."), Release("1.1", "2026-10-02", "")});
    }
    QListWidget* List() { return qobject_cast<QListWidget*>(Item(chooser, IDC_RELEASE_LIST)); }

    Host host;
    CReleaseChooserDlg chooser{host};
};

TEST_F(ReleaseChooserTest, OpensWithTheListNewestFirstAndItsNotes)
{
    EXPECT_EQ(Win(chooser)->windowTitle(), "Versiones publicadas");
    ASSERT_NE(List(), nullptr);
    ASSERT_EQ(List()->count(), 2);
    EXPECT_EQ(List()->item(0)->text(), "Versión 1.2  30/11/2026  (la más reciente)\nCorrige el eje X.");
    EXPECT_EQ(List()->item(1)->text(), "Versión 1.1  02/10/2026");
    // Nothing to say yet: the line above the list is hidden.
    EXPECT_FALSE(Item(chooser, IDC_RELEASE_STATUS)->isVisible());
    chooser.Say("Descargando la versión 1.2…");
    EXPECT_TRUE(Item(chooser, IDC_RELEASE_STATUS)->isVisible());
    EXPECT_EQ(qobject_cast<QLabel*>(Item(chooser, IDC_RELEASE_STATUS))->text(), "Descargando la versión 1.2…");
    chooser.Say("");
    EXPECT_FALSE(Item(chooser, IDC_RELEASE_STATUS)->isVisible());
    // A new list replaces the old one.
    chooser.SetReleases({Release("2.0", "2027-01-05", "")});
    EXPECT_EQ(List()->count(), 1);
}

TEST_F(ReleaseChooserTest, EnterReportsTheChoiceAndEscapeAsksTheHost)
{
    List()->setFocus();
    for (int row : {1, 0}) {
        List()->setCurrentRow(row);
        QTest::keyClick(List(), Qt::Key_Return);
    }
    EXPECT_EQ(host.chosen, (std::vector<std::size_t>{1, 0}));
    QTest::keyClick(List(), Qt::Key_Escape);
    EXPECT_EQ(host.closed, 1);
    EXPECT_TRUE(Win(chooser)->isVisible());  // the host decides
}

TEST_F(ReleaseChooserTest, TheUpdatesLockOutTakesTheChooserIn)
{
    CUpdaterDlg dlg;
    ASSERT_TRUE(dlg.Create());
    dlg.LockWith(chooser.GetSafeHwnd());
    dlg.LockControls();
    // The dialog's ten first, then the chooser's controls (and what Qt puts in them).
    std::vector<wnd::Handle> saved;
    for (const auto& state : dlg.SavedStates())
        saved.push_back(state->hWnd);
    ASSERT_GT(saved.size(), 10u);
    EXPECT_NE(std::find(saved.begin() + 10, saved.end(), chooser.GetDlgItem(IDC_RELEASE_LIST)), saved.end());
    EXPECT_NE(std::find(saved.begin() + 10, saved.end(), chooser.GetDlgItem(IDC_RELEASE_STATUS)), saved.end());
    EXPECT_FALSE(List()->isEnabled());
    List()->setCurrentRow(1);
    emit List()->itemActivated(List()->item(1));
    EXPECT_TRUE(host.chosen.empty());
    dlg.UnlockControls();
    EXPECT_TRUE(List()->isEnabled());
    emit List()->itemActivated(List()->item(1));
    EXPECT_EQ(host.chosen, (std::vector<std::size_t>{1}));
    // Once it is let go, an update no longer touches it.
    dlg.UnlockWith(chooser.GetSafeHwnd());
    dlg.LockControls();
    EXPECT_EQ(dlg.SavedStates().size(), 10u);
    EXPECT_TRUE(List()->isEnabled());
    dlg.UnlockControls();
}

}  // namespace
