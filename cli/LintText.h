#pragma once
// The lint's findings in Spanish words, and its map of what a file covers.

#include <string>

class CHexLint;
struct HexWarning;

namespace cli {

// "NAME:LINE: aviso: ..." with its line end.
std::string WarningLine(const std::string& name, const HexWarning& warning);
std::string WarningText(const HexWarning& warning);
// All of them, and how many more of each kind there were than it keeps.
std::string WarningLines(const std::string& name, const CHexLint& lint);
// How a FILE operand is named in messages, control characters written out.
std::string FileName(const std::string& path);
// The map of which 256-byte cells of the image the file covers.
std::string CoverageMap(const CHexLint& lint);

}  // namespace cli
