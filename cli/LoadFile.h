#pragma once
// A FILE operand, loaded the way the window loads a file.

#include <cstddef>
#include <string>

class CFirmwareUpdater;
class CHexLineObserver;
struct CatalogueRelease;

namespace cli {

class COutput;

// Loads `path` ("-": standard input) into `updater`, `observer` (if any)
// watching the read: streamed, so any size costs the same memory. On
// failure prints why on stderr and returns false.
bool LoadFileOrReport(COutput& out, CFirmwareUpdater& updater, const std::string& path,
                      CHexLineObserver* observer = nullptr);
// Reads the file at `path` whole into *bytes, or its first `limit` bytes.
// On failure prints why on stderr and returns false.
bool ReadFileOrReport(COutput& out, const std::string& path, std::size_t limit, std::string* bytes);
// Loads the file of `release` at `path` as LoadFileOrReport does, once its
// SHA-256 is the catalogue's: the bytes checked are the bytes loaded, so it
// is held whole, and refused past kMaxReleaseFileSize. On failure prints why
// on stderr and returns false; nothing is loaded.
bool LoadReleaseOrReport(COutput& out, CFirmwareUpdater& updater, const std::string& path,
                         const CatalogueRelease& release, CHexLineObserver* observer = nullptr);

}  // namespace cli
