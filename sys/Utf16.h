#pragma once
// UTF-8, the program's text inside, to and from UTF-16, the text of the
// Windows W functions. Ill-formed input becomes U+FFFD; nothing is dropped.

#include <string>
#include <string_view>

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
