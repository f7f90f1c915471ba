#pragma once
// The dialog templates and the string table, the way a resource script holds
// them. The Qt backend builds its windows from these tables; the Windows build
// has the same templates in res/windows/tolvanex.rc, and a test holds the two
// against each other field by field.

#include <cstdint>
#include <span>
#include <string>

// Window and control styles, as Windows defines them.
namespace ws {
constexpr std::uint32_t kVScroll = 0x00200000u;
constexpr std::uint32_t kPopup = 0x80000000u, kChild = 0x40000000u, kVisible = 0x10000000u, kCaption = 0x00C00000u,
                        kBorder = 0x00800000u, kSysMenu = 0x00080000u, kGroup = 0x00020000u, kTabStop = 0x00010000u;
constexpr std::uint32_t kDsModalFrame = 0x80, kDsSetFont = 0x40;
constexpr std::uint32_t kExAppWindow = 0x00040000u;
constexpr std::uint32_t kBsPushButton = 0x0, kBsDefPushButton = 0x1, kBsTypeMask = 0xF;
constexpr std::uint32_t kSsLeft = 0x0, kSsIcon = 0x3, kSsTypeMask = 0x1F, kSsSunken = 0x1000;
constexpr std::uint32_t kEsLeft = 0x0, kEsAutoHScroll = 0x80;
constexpr std::uint32_t kLbsNotify = 0x1, kLbsNoIntegralHeight = 0x100;
}  // namespace ws

// One control. `text` is UTF-8; for an SS_ICON static it is empty and
// `iconId` names the icon resource.
struct ControlTemplate {
    int id;
    const char* windowClass;  // "button", "static", "edit", "msctls_progress32", "listbox"
    const char* text;
    std::uint32_t style;
    int x, y, cx, cy;  // dialog units
    int iconId = 0;
};

struct DialogTemplate {
    int id;
    bool extended;  // DIALOGEX rather than DIALOG
    std::uint32_t style;
    std::uint32_t exStyle;
    int x, y, cx, cy;     // dialog units
    const char* caption;  // UTF-8
    const char* face;     // UTF-8
    int pointSize;
    std::span<const ControlTemplate> controls;
};

// The template with this identifier; null when there is none.
const DialogTemplate* FindDialogTemplate(int id);

// One entry of the string table.
struct StringResource {
    unsigned id;
    const char* text;  // UTF-8
};
std::span<const StringResource> StringTable();

// The text of the entry with this identifier; empty when there is none, as LoadString leaves it.
std::string FindStringResource(unsigned id);

// The About box's one line: the version, then our copyright notice.
inline constexpr const char* kAboutText = "v1.0  © 2026 Tolvanex, S.L.";
