// The resources of the updater window, linked into this test so that the
// system's own version and resource readers can check what Explorer will show.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "res/windows/resource.h"

namespace {

std::vector<char> OwnVersionBlock()
{
    char self[MAX_PATH] = {};
    EXPECT_NE(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(self, &ignored);
    std::vector<char> block(size);
    if (size == 0 || !GetFileVersionInfoA(self, 0, size, block.data()))
        block.clear();
    return block;
}

std::string Value(std::vector<char>& block, const char* name)
{
    char* text = nullptr;
    UINT length = 0;
    const std::string query = std::string("\\StringFileInfo\\040A04E4\\") + name;
    if (!VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &length) || text == nullptr)
        return "<missing>";
    return std::string(text, strnlen(text, length));
}

TEST(WindowsResources, VersionBlockSaysWhatExplorerShows)
{
    std::vector<char> block = OwnVersionBlock();
    ASSERT_FALSE(block.empty()) << "no version block linked";

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000000u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000000u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x040A);
    EXPECT_EQ(translation[1], 1252);

    // The string version differs from the fixed one on purpose.
    EXPECT_EQ(Value(block, "CompanyName"), "Tolvanex, S.L.");
    EXPECT_EQ(Value(block, "FileVersion"), "5.0.0.1955");
    EXPECT_EQ(Value(block, "ProductVersion"), "5.0.0.1955");
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
