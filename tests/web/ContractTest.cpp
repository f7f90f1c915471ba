// The numbers the page's JavaScript reads (TvxContract, written by
// web/Contract.cmake) are the compiled enums' own, every one of them; and the
// JavaScript halves name them rather than repeat them.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "sys/ErrorText.h"
#include "ui/web/WebContract.h"

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// enum name -> {kName -> value}, as the written library holds them.
std::map<std::string, std::map<std::string, int>> Written()
{
    std::map<std::string, std::map<std::string, int>> enums;
    const std::string js = ReadAll(TOLVANEX_WEB_CONTRACT_JS);
    const std::regex line(R"((\w+): \{([^{}]*)\})");
    const std::regex field(R"((k\w+): (-?\d+))");
    for (std::sregex_iterator e(js.begin(), js.end(), line), end; e != end; ++e) {
        const std::string body = (*e)[2];
        for (std::sregex_iterator f(body.begin(), body.end(), field); f != end; ++f)
            enums[(*e)[1]][(*f)[1]] = std::stoi((*f)[2]);
    }
    return enums;
}

TEST(WebContract, TheJavaScriptReadsTheCompiledNumbers)
{
    using namespace wnd::web;
    const std::map<std::string, std::map<std::string, int>> expected = {
        {"ControlKind",
         {{"kButton", kButton},
          {"kText", kText},
          {"kEdit", kEdit},
          {"kProgress", kProgress},
          {"kIcon", kIcon},
          {"kList", kList}}},
        {"ControlFlags", {{"kDefault", kDefault}, {"kSunken", kSunken}, {"kTabStop", kTabStop}, {"kShown", kShown}}},
        {"SysErrorKind",
         {{"kOther", static_cast<int>(SysErrorKind::kOther)},
          {"kDenied", static_cast<int>(SysErrorKind::kDenied)},
          {"kBusy", static_cast<int>(SysErrorKind::kBusy)},
          {"kGone", static_cast<int>(SysErrorKind::kGone)}}},
    };
    EXPECT_EQ(Written(), expected);
}

// A bare number where a contract's name belongs: a kind or flag compared or
// masked by value, an error kind set by value.
TEST(WebContract, TheJavaScriptHalvesHoldNoBareNumber)
{
    const std::regex bare(
        R"((kind\s*[!=]==?\s*\d)|(flags\s*&\s*\d)|(lastError\s*=\s*\d)|(return \d;\s*//\s*\w*Error))");
    for (const char* path : {TOLVANEX_SOURCE_DIR "/ui/web/WebWindowPlatform.js",
                             TOLVANEX_SOURCE_DIR "/device/HidPlatformWeb.js", TOLVANEX_SOURCE_DIR "/web/Releases.js"}) {
        const std::string js = ReadAll(path);
        ASSERT_FALSE(js.empty()) << path;
        std::smatch found;
        EXPECT_FALSE(std::regex_search(js, found, bare)) << path << ": " << found.str();
    }
}

}  // namespace
