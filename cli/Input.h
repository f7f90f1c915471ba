#pragma once
// What a command that reads FILE reads: FILE itself or, with --catalogue and
// --release, the file of that release beside the catalogue, taken only when
// its SHA-256 is the catalogue's.

#include <optional>
#include <string>

#include "firmware/Catalogue.h"

class CFirmwareUpdater;
class CHexLineObserver;

namespace cli {

class COutput;

struct ParsedArgs;

class CInput {
public:
    // Finds the input: with --catalogue, reads the catalogue and finds the
    // release. False after saying why, with *status: kExitFile for a
    // catalogue that cannot be read or is not one, kExitUsage for a version
    // it does not list.
    bool Find(const ParsedArgs& args, COutput& out, int* status);
    // FILE, or the release's file in the catalogue's folder.
    const std::string& Path() const { return m_path; }
    // The release, when the input is one; else null.
    const CatalogueRelease* Release() const { return m_release ? &*m_release : nullptr; }
    // Loads it into `updater`; a release is refused, and nothing loaded, when
    // its file is not the catalogue's. False after saying why (kExitFile).
    bool Load(CFirmwareUpdater& updater, COutput& out, CHexLineObserver* observer = nullptr) const;

private:
    std::string m_path;
    std::optional<CatalogueRelease> m_release;
};

}  // namespace cli
