// The resources of both programs: the updater's are linked into this test, so
// that the system's own version and resource readers check what Explorer
// will show, and the manifest is the one this process runs with;
// tolvanex-cli.exe's are read from its file.
#include <gtest/gtest.h>

#include <cstring>
#include <cwctype>
#include <string>
#include <vector>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "res/windows/resource.h"
#include "sys/Utf16.h"

namespace {

std::wstring Wide(const std::string& text)
{
    const std::u16string wide = Utf8ToUtf16(text);
    return std::wstring(wide.begin(), wide.end());
}

std::string Utf8(const wchar_t* text, std::size_t length)
{
    return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), length));
}

// The program's path: this test itself for the updater's resources.
std::wstring PathOf(const char* program)
{
    if (program[0] != '\0')
        return Wide(program);
    wchar_t self[MAX_PATH] = {};
    EXPECT_NE(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    return self;
}

std::vector<char> VersionBlock(const std::wstring& path)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::vector<char> block(size);
    if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, block.data()))
        block.clear();
    return block;
}

std::string Value(std::vector<char>& block, const char* name)
{
    wchar_t* text = nullptr;
    UINT length = 0;
    const std::wstring query = L"\\StringFileInfo\\040A04E4\\" + Wide(name);
    if (!VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &length) || text == nullptr)
        return "<missing>";
    return Utf8(text, wcsnlen(text, length));
}

std::string Manifest(const std::wstring& path)
{
    const HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    const HRSRC found = module ? FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)) : nullptr;
    std::string text;
    if (found)
        text.assign(static_cast<const char*>(LockResource(LoadResource(module, found))), SizeofResource(module, found));
    if (module)
        FreeLibrary(module);
    return text;
}

struct Program {
    const char* path;  // empty: the updater's resources, in this test
    const char* description;
    const char* internalName;
    const char* originalFilename;
    std::vector<const char*> manifestHas;
    std::vector<const char*> manifestLacks;
};

const char* const kAsInvoker = "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>";
const char* const kWindows10 = "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>";
const char* const kCommonControls6 = "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"";
const char* const kPerMonitorV2 = ">PerMonitorV2, PerMonitor</dpiAwareness>";
const char* const kLongPaths = ">true</longPathAware>";

TEST(WindowsResources, VersionBlocksAndManifestsSayWhatExplorerShows)
{
    const std::vector<Program> programs = {
        {"", "Tolvanex Updater v1.0", "Tolvanex Updater", "<missing>",
         {kAsInvoker, kWindows10, kCommonControls6, kPerMonitorV2}, {kLongPaths}},
        {TVX_CLI_EXE, "Tolvanex Updater: línea de órdenes", "tolvanex-cli", "tolvanex-cli.exe",
         {kAsInvoker, kWindows10, kLongPaths}, {kCommonControls6, kPerMonitorV2}},
    };
    for (const Program& program : programs) {
        SCOPED_TRACE(program.internalName);
        const std::wstring path = PathOf(program.path);
        std::vector<char> block = VersionBlock(path);
        ASSERT_FALSE(block.empty()) << "no version block linked";

        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
        ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
        EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
        EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
        EXPECT_EQ(fixed->dwFileVersionLS, 0x00000000u);
        EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
        EXPECT_EQ(fixed->dwProductVersionLS, 0x00000000u);
        EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

        WORD* translation = nullptr;
        ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                                   &length));
        ASSERT_EQ(length, 4u);
        EXPECT_EQ(translation[0], 0x040A);
        EXPECT_EQ(translation[1], 1252);

        // The string version differs from the fixed one on purpose.
        EXPECT_EQ(Value(block, "CompanyName"), "Tolvanex, S.L.");
        EXPECT_EQ(Value(block, "FileDescription"), program.description);
        EXPECT_EQ(Value(block, "InternalName"), program.internalName);
        EXPECT_EQ(Value(block, "OriginalFilename"), program.originalFilename);
        EXPECT_EQ(Value(block, "ProductName"), "Tolvanex Updater v1.0");
        EXPECT_EQ(Value(block, "FileVersion"), "5.0.0.1955");
        EXPECT_EQ(Value(block, "ProductVersion"), "5.0.0.1955");

        const std::string manifest = Manifest(path);
        for (const char* part : program.manifestHas)
            EXPECT_NE(manifest.find(part), std::string::npos) << part << "\n" << manifest;
        for (const char* part : program.manifestLacks)
            EXPECT_EQ(manifest.find(part), std::string::npos) << part;
    }
}

// The system honours the updater's manifest: this process, which carries it,
// is aware of each monitor's DPI and draws with the common controls 6.
TEST(WindowsResources, ManifestIsHonoured)
{
    using GetContext = void*(WINAPI*)();
    using Awareness = int(WINAPI*)(void*);
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    const auto context = reinterpret_cast<GetContext>(
        reinterpret_cast<void (*)()>(GetProcAddress(user32, "GetThreadDpiAwarenessContext")));
    const auto awareness = reinterpret_cast<Awareness>(
        reinterpret_cast<void (*)()>(GetProcAddress(user32, "GetAwarenessFromDpiAwarenessContext")));
    ASSERT_TRUE(context && awareness);
    EXPECT_EQ(awareness(context()), 2);  // DPI_AWARENESS_PER_MONITOR_AWARE

    // Version 6 lives in the side-by-side store, version 5 in system32.
    wchar_t controls[MAX_PATH] = {};
    GetModuleFileNameW(GetModuleHandleW(L"comctl32.dll"), controls, MAX_PATH);
    for (wchar_t* c = controls; *c; ++c)
        *c = towlower(*c);
    EXPECT_NE(wcsstr(controls, L"microsoft.windows.common-controls_6595b64144ccf1df_6."), nullptr)
        << Utf8(controls, wcslen(controls));
}

TEST(WindowsResources, IconAndAboutTextAreSpanishResources)
{
    const LANGID spanish = MAKELANGID(LANG_SPANISH, SUBLANG_SPANISH);
    EXPECT_NE(FindResourceExA(nullptr, MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */, MAKEINTRESOURCEA(IDR_MAINFRAME),
                              spanish),
              nullptr);
    EXPECT_NE(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME)), nullptr);

    // String IDs live in blocks of 16: block (id / 16 + 1).
    EXPECT_NE(FindResourceExA(nullptr, MAKEINTRESOURCEA(6) /* RT_STRING */,
                              MAKEINTRESOURCEA(IDS_ABOUTBOX / 16 + 1), spanish),
              nullptr);
    char text[64] = {};
    ASSERT_GT(LoadStringA(GetModuleHandleA(nullptr), IDS_ABOUTBOX, text, sizeof text), 0);
    EXPECT_STREQ(text, "&Sobre el Updater...");
}

}  // namespace
