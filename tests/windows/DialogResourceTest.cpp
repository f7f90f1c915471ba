// The dialog templates and strings of res/windows/tolvanex.rc, read back from
// the linked resources, against the tables that the Qt window is built from:
// the two must never drift apart.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "sys/Utf16.h"
#include "ui/Dialog.h"
#include "ui/DialogTemplate.h"
#include "ui/Resource.h"
#include "ui/WindowApp.h"

namespace {

const LANGID kSpanish = MAKELANGID(LANG_SPANISH, SUBLANG_SPANISH);

// Reads a dialog resource (DLGTEMPLATE or DLGTEMPLATEEX) field by field.
class TemplateReader {
public:
    explicit TemplateReader(const BYTE* data) : m_p(data), m_start(data) {}

    WORD Word() { return Take<WORD>(); }
    DWORD Dword() { return Take<DWORD>(); }
    short Short() { return Take<short>(); }
    BYTE Byte() { return Take<BYTE>(); }
    std::string Text()
    {
        std::u16string text;
        for (char16_t c; (c = static_cast<char16_t>(Word())) != 0;)
            text += c;
        return Utf16ToUtf8(text);
    }
    // A name or a number: 0xFFFF then the number, or a zero-terminated text.
    std::string NameOrOrdinal()
    {
        if (Peek() == 0xFFFF) {
            Word();
            return "#" + std::to_string(Word());
        }
        return Text();
    }
    void AlignToDword()
    {
        while ((m_p - m_start) % 4 != 0)
            ++m_p;
    }

private:
    WORD Peek() const
    {
        WORD w;
        std::memcpy(&w, m_p, sizeof w);
        return w;
    }
    template <class T>
    T Take()
    {
        T value;
        std::memcpy(&value, m_p, sizeof value);
        m_p += sizeof value;
        return value;
    }

    const BYTE* m_p;
    const BYTE* m_start;
};

// The predefined classes are stored as atoms; names compare without case.
std::string ClassName(std::string stored)
{
    for (char& ch : stored)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (stored == "#128")
        return "button";
    if (stored == "#129")
        return "edit";
    if (stored == "#130")
        return "static";
    if (stored == "#131")
        return "listbox";
    return stored;
}

TEST(WindowsResources, DialogTemplatesMatchTheWindowTables)
{
    for (int id : {IDD_UPDATER_DIALOG, IDD_ABOUTBOX, IDD_RELEASES}) {
        SCOPED_TRACE(id);
        const DialogTemplate* expected = FindDialogTemplate(id);
        ASSERT_NE(expected, nullptr);
        HRSRC found = FindResourceExW(nullptr, MAKEINTRESOURCEW(5) /* RT_DIALOG */, MAKEINTRESOURCEW(id), kSpanish);
        ASSERT_NE(found, nullptr) << "no Spanish dialog resource";
        const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
        TemplateReader r(data);

        // DLGTEMPLATEEX begins with version 1 and the signature 0xFFFF.
        const bool extended = TemplateReader(data).Dword() == 0xFFFF0001u;
        ASSERT_EQ(extended, expected->extended);
        DWORD style = 0, exStyle = 0;
        if (extended) {
            r.Dword();                 // version and signature
            EXPECT_EQ(r.Dword(), 0u);  // help id
            exStyle = r.Dword();
            style = r.Dword();
        } else {
            style = r.Dword();
            exStyle = r.Dword();
        }
        EXPECT_EQ(style, expected->style);
        EXPECT_EQ(exStyle, expected->exStyle);
        const WORD count = r.Word();
        EXPECT_EQ(count, expected->controls.size());
        const int x = r.Short(), y = r.Short(), cx = r.Short(), cy = r.Short();
        EXPECT_EQ((std::vector<int>{x, y, cx, cy}), (std::vector<int>{expected->x, expected->y, expected->cx, expected->cy}));
        EXPECT_EQ(r.NameOrOrdinal(), "");  // no menu
        EXPECT_EQ(r.NameOrOrdinal(), "");  // the standard dialog class
        EXPECT_EQ(r.Text(), expected->caption);
        EXPECT_EQ(r.Word(), expected->pointSize);
        if (expected->extended) {
            EXPECT_EQ(r.Word(), 0);  // weight
            EXPECT_EQ(r.Byte(), 0);  // italic
            EXPECT_EQ(r.Byte(), 0);  // character set
        }
        EXPECT_EQ(r.Text(), expected->face);

        for (std::size_t i = 0; i < count && i < expected->controls.size(); ++i) {
            SCOPED_TRACE(i);
            const ControlTemplate& c = expected->controls[i];
            r.AlignToDword();
            DWORD controlStyle = 0, controlExStyle = 0, controlId = 0;
            if (expected->extended) {
                EXPECT_EQ(r.Dword(), 0u);  // help id
                controlExStyle = r.Dword();
                controlStyle = r.Dword();
            } else {
                controlStyle = r.Dword();
                controlExStyle = r.Dword();
            }
            const int cxPos = r.Short(), cyPos = r.Short(), width = r.Short(), height = r.Short();
            controlId = expected->extended ? r.Dword() : r.Word();
            EXPECT_EQ(static_cast<int>(static_cast<short>(controlId & 0xFFFF)), c.id);
            EXPECT_EQ(controlStyle, c.style);
            EXPECT_EQ(controlExStyle, 0u);
            EXPECT_EQ((std::vector<int>{cxPos, cyPos, width, height}), (std::vector<int>{c.x, c.y, c.cx, c.cy}));
            EXPECT_EQ(ClassName(r.NameOrOrdinal()), c.windowClass);
            const std::string text = r.NameOrOrdinal();
            EXPECT_EQ(text, c.iconId ? "#" + std::to_string(c.iconId) : std::string(c.text));
            const WORD extra = r.Word();
            EXPECT_EQ(extra, 0);
        }
    }
}

TEST(WindowsResources, StringTableMatchesTheWindowTable)
{
    for (const StringResource& entry : StringTable()) {
        wchar_t text[256] = {};
        const int length = LoadStringW(GetModuleHandleW(nullptr), entry.id, text, 256);
        EXPECT_EQ(Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), static_cast<std::size_t>(length))), entry.text)
            << entry.id;
    }
}

// WM_DPICHANGED lays each dialog out anew, inside the work area: where the
// window fits at full size, every control where the 96-DPI layout (the
// dialog manager's, MapDialogRect) had it times DPI/96, in the template's
// point size (a label that needs more room for its text grows by that much);
// where it does not, smaller. Either way every text fits its control in the
// font it got, whichever face the system gave for the template's, and no
// control covers another.
TEST(WindowsResources, DialogsScaleWithTheDpi)
{
    char program[] = "windows_resources_test";
    char* argv[] = {program, nullptr};
    wnd::Application toolkit(1, argv);  // the common controls
    for (int id : {IDD_UPDATER_DIALOG, IDD_ABOUTBOX}) {
        SCOPED_TRACE(id);
        const DialogTemplate* layout = FindDialogTemplate(id);
        ASSERT_NE(layout, nullptr);
        CDialog dialog(id);
        ASSERT_TRUE(dialog.Create());
        const auto window = static_cast<HWND>(dialog.GetSafeHwnd());
        RECT mapped{0, 0, layout->cx, layout->cy};
        MapDialogRect(window, &mapped);  // at the screen's DPI, 96 here
        for (const int dpi : {96, 144, 192}) {
            SCOPED_TRACE(dpi);
            RECT place{0, 0, 100, 100};  // where it goes; the size is the dialog's own
            SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&place));
            RECT outer{}, client{};
            GetWindowRect(window, &outer);
            GetClientRect(window, &client);
            MONITORINFO monitor{};
            monitor.cbSize = sizeof monitor;
            GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
            const RECT& work = monitor.rcWork;
            EXPECT_TRUE(outer.left >= work.left && outer.top >= work.top && outer.right <= work.right &&
                        outer.bottom <= work.bottom)
                << outer.left << " " << outer.top << " " << outer.right << " " << outer.bottom;
            const LONG fullWidth = mapped.right * dpi / 96 + (outer.right - outer.left) - client.right;
            const LONG fullHeight = mapped.bottom * dpi / 96 + (outer.bottom - outer.top) - client.bottom;
            const bool full = fullWidth <= work.right - work.left && fullHeight <= work.bottom - work.top;
            if (!full) {
                EXPECT_LT(client.right, mapped.right * dpi / 96);
            }
            std::vector<RECT> boxes;
            for (HWND control = GetWindow(window, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
                const std::size_t i = boxes.size();
                ASSERT_LT(i, layout->controls.size());
                const ControlTemplate& c = layout->controls[i];
                RECT r{};
                GetWindowRect(control, &r);
                MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
                boxes.push_back(r);
                wchar_t text[64] = {};
                GetWindowTextW(control, text, 64);
                wchar_t cls[32] = {};
                GetClassNameW(control, cls, 32);
                const auto style = static_cast<DWORD>(GetWindowLongPtrW(control, GWL_STYLE));
                const bool hasText = text[0] && _wcsicmp(cls, L"msctls_progress32") != 0 && (style & SS_TYPEMASK) != SS_ICON;
                SIZE extent{};
                TEXTMETRICW metrics{};
                if (hasText) {
                    const HDC dc = GetDC(control);
                    const HGDIOBJ before = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
                    GetTextExtentPoint32W(dc, text, static_cast<int>(wcslen(text)), &extent);
                    GetTextMetricsW(dc, &metrics);
                    SelectObject(dc, before);
                    ReleaseDC(control, dc);
                }
                RECT inside{};
                GetClientRect(control, &inside);
                const LONG borderX = r.right - r.left - inside.right, borderY = r.bottom - r.top - inside.bottom;
                if (full) {
                    RECT small{c.x, c.y, c.x + c.cx, c.y + c.cy};
                    MapDialogRect(window, &small);
                    EXPECT_NEAR(r.left, small.left * dpi / 96, 2) << i;
                    EXPECT_NEAR(r.top, small.top * dpi / 96, 2) << i;
                    // A label whose text needs more room grows by that much, no more.
                    const LONG width = (small.right - small.left) * dpi / 96, height = (small.bottom - small.top) * dpi / 96;
                    const bool label = _wcsicmp(cls, L"static") == 0;
                    if (label && hasText && r.right - r.left > width + 2) {
                        EXPECT_EQ(r.right - r.left, extent.cx + borderX) << i;
                    } else {
                        EXPECT_NEAR(r.right - r.left, width, 2) << i;
                    }
                    if (label && hasText && r.bottom - r.top > height + 2) {
                        EXPECT_EQ(r.bottom - r.top, extent.cy + borderY) << i;
                    } else {
                        EXPECT_NEAR(r.bottom - r.top, height, 2) << i;
                    }
                    if (hasText) {
                        EXPECT_EQ(metrics.tmHeight - metrics.tmInternalLeading, MulDiv(9, dpi, 72)) << i;  // 9 points
                    }
                }
                if (!hasText)
                    continue;
                EXPECT_LE(extent.cx, inside.right) << Utf16ToUtf8(reinterpret_cast<const char16_t*>(text));
                EXPECT_LE(extent.cy, inside.bottom) << Utf16ToUtf8(reinterpret_cast<const char16_t*>(text));
            }
            for (std::size_t i = 0; i < boxes.size(); ++i) {
                for (std::size_t j = i + 1; j < boxes.size(); ++j) {
                    RECT common{};
                    EXPECT_FALSE(IntersectRect(&common, &boxes[i], &boxes[j])) << i << " over " << j;
                }
            }
        }
        DestroyWindow(window);
    }
}

}  // namespace
