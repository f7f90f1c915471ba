#include "ui/DialogTemplate.h"

#include <array>

#include "ui/Resource.h"

namespace {

using namespace ws;

constexpr std::array<ControlTemplate, 10> kUpdaterControls{{
    {IDOK, "button", "ACTUALIZAR", kChild | kVisible | kTabStop | kBsDefPushButton, 236, 35, 66, 19},
    {IDCANCEL, "button", "Salir", kChild | kVisible | kTabStop | kBsPushButton, 311, 35, 69, 19},
    {IDC_STATIC, "static", "Archivo:", kChild | kVisible | kGroup | kSsLeft, 7, 16, 42, 8},
    {IDC_FILE_PATH, "edit", "", kChild | kVisible | kBorder | kTabStop | kEsLeft | kEsAutoHScroll, 50, 13, 253, 13},
    {IDC_OPEN_HEX, "button", "Abrir HEX", kChild | kVisible | kTabStop | kBsPushButton, 311, 12, 68, 14},
    {IDC_STATIC, "static", "Checksum:", kChild | kVisible | kGroup | kSsLeft, 7, 38, 38, 8},
    {IDC_CHECKSUM, "static", "Static", kChild | kVisible | kGroup | kSsLeft | kSsSunken, 51, 38, 91, 12},
    {IDC_STATIC, "static", "Progreso:", kChild | kVisible | kGroup | kSsLeft, 9, 70, 38, 8},
    {IDC_PROGRESS, "msctls_progress32", "Progress1", kChild | kVisible | kBorder, 50, 68, 253, 14},
    {IDC_PERCENT, "static", "0%", kChild | kVisible | kGroup | kSsLeft, 309, 68, 66, 12},
}};

constexpr std::array<ControlTemplate, 3> kAboutControls{{
    {IDC_STATIC, "static", "", kChild | kVisible | kSsIcon, 11, 15, 20, 20, IDR_MAINFRAME},
    {IDOK, "button", "OK", kChild | kVisible | kGroup | kTabStop | kBsDefPushButton, 178, 7, 50, 14},
    {IDC_STATIC, "static", kAboutText, kChild | kVisible | kGroup | kSsLeft, 42, 21, 131, 10},
}};

// The maker's releases (ui/ReleaseChooserDlg.h): what it has to say, shown
// only when there is something, and the list.
constexpr std::array<ControlTemplate, 2> kReleaseControls{{
    {IDC_RELEASE_STATUS, "static", "", kChild | kGroup | kSsLeft, 7, 7, 381, 16},
    {IDC_RELEASE_LIST, "listbox", "",
     kChild | kVisible | kBorder | kVScroll | kTabStop | kLbsNotify | kLbsNoIntegralHeight, 7, 26, 381, 87},
}};

constexpr DialogTemplate kTemplates[] = {
    {IDD_UPDATER_DIALOG, true, kPopup | kVisible | kCaption | kSysMenu | kDsModalFrame | kDsSetFont, kExAppWindow, 0, 0,
     395, 99, "Tolvanex Updater para SWITCH Controllers v1.0", "宋体", 9, kUpdaterControls},
    {IDD_ABOUTBOX, false, kPopup | kCaption | kSysMenu | kDsModalFrame | kDsSetFont, 0, 0, 0, 235, 55,
     "Sobre el Updater", "宋体", 9, kAboutControls},
    {IDD_RELEASES, false, kPopup | kCaption | kDsModalFrame | kDsSetFont, 0, 0, 0, 395, 120, "Versiones publicadas",
     "宋体", 9, kReleaseControls},
};

constexpr StringResource kStrings[] = {
    {IDS_ABOUTBOX, "&Sobre el Updater..."},
};

}  // namespace

const DialogTemplate* FindDialogTemplate(int id)
{
    for (const DialogTemplate& t : kTemplates) {
        if (t.id == id)
            return &t;
    }
    return nullptr;
}

std::span<const StringResource> StringTable()
{
    return kStrings;
}

std::string FindStringResource(unsigned id)
{
    for (const StringResource& entry : kStrings) {
        if (entry.id == id)
            return entry.text;
    }
    return std::string();
}
