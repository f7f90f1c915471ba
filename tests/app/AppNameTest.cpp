// The application's name from the executable's path: file name first, then
// the extension, so dots in folder names never cut the name.
#include <gtest/gtest.h>

#include <string>

#include "app/AppName.h"

namespace {

struct NameCase {
    const char* path;
    const char* name;
};

void ExpectNames(std::initializer_list<NameCase> cases)
{
    for (const NameCase& c : cases)
        EXPECT_EQ(AppNameFromModulePath(c.path), c.name) << "path: " << c.path;
}

TEST(AppName, WindowsPaths)
{
    ExpectNames({
        {"C:\\x\\updater.exe", "updater"},
        {"C:\\Program Files (x86)\\Tolvanex.v2\\Tolvanex Updater.exe", "Tolvanex Updater"},
        {"C:updater.exe", "updater"},                  // drive-relative
        {"\\\\server\\share\\upd.v1\\UPD.EXE", "UPD"},  // UNC path with a dotted folder
        {"C:/mixed\\seps/Updater.exe", "Updater"},
    });
}

TEST(AppName, DottedFoldersKeepTheName)
{
    ExpectNames({
        {"/home/ana/.local/bin/tolvanex-updater", "tolvanex-updater"},
        {"/opt/tolvanex-1.0/bin/tolvanex-updater", "tolvanex-updater"},
        {"/a.b/c.d/e", "e"},
    });
}

TEST(AppName, OnlyTheLastExtensionGoes)
{
    ExpectNames({
        {"/usr/bin/tolvanex.updater.bin", "tolvanex.updater"},
        {"/usr/bin/archive.tar.gz", "archive.tar"},
        {"/usr/bin/trailing.", "trailing"},
        {"updater.exe", "updater"},
        {"tolvanex-updater", "tolvanex-updater"},
    });
}

TEST(AppName, DegenerateNames)
{
    ExpectNames({
        {"/usr/bin/.hidden", ".hidden"},  // a leading dot is part of the name
        {"/usr/bin/.hidden.exe", ".hidden"},
        {"/usr/bin/", ""},
        {"", ""},
    });
}

}  // namespace
