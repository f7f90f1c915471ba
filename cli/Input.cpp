#include "cli/Input.h"

#include "cli/Args.h"
#include "cli/ExitCodes.h"
#include "cli/LoadFile.h"
#include "cli/Output.h"
#include "cli/UsageError.h"
#include "sys/File.h"

namespace cli {

bool CInput::Find(const ParsedArgs& args, COutput& out, int* status)
{
    if (!args.Has("catalogue")) {
        m_path = args.operands.at(0);
        return true;
    }
    const std::string& path = args.Value("catalogue");
    if (path == "-") {
        *status =
            UsageError(out, args.command, "--catalogue no lee la entrada estándar: sus archivos están en su carpeta");
        return false;
    }
    std::string text;
    *status = kExitFile;
    // One byte more than a catalogue may have tells one that is too large.
    if (!ReadFileOrReport(out, path, kMaxCatalogueSize + 1, &text))
        return false;
    Catalogue catalogue;
    std::string why;
    if (!ReadCatalogue(text, &catalogue, &why)) {
        out.Complain("«" + Shown(path) + "» no es un catálogo válido: " + why);
        return false;
    }
    const std::string& version = args.Value("release");
    const CatalogueRelease* release = FindRelease(catalogue, version);
    if (release == nullptr) {
        // A long list would bury the message: the newest few and how many.
        constexpr std::size_t kNamed = 5;
        const std::size_t count = catalogue.releases.size();
        const std::string has = count == 0        ? std::string("(no tiene ninguna)")
                                : count <= kNamed ? "(tiene: " + CatalogueVersions(catalogue) + ")"
                                                  : "(tiene " + std::to_string(count) +
                                                        " versiones: " + CatalogueVersions(catalogue, kNamed) + ")";
        *status = UsageError(out, args.command,
                             "el catálogo «" + Shown(path) + "» no tiene la versión «" + Shown(version) + "» " + has);
        return false;
    }
    m_release = *release;
    m_path = SysPathBeside(path, release->file);
    return true;
}

bool CInput::Load(CFirmwareUpdater& updater, COutput& out, CHexLineObserver* observer) const
{
    return m_release ? LoadReleaseOrReport(out, updater, m_path, *m_release, observer)
                     : LoadFileOrReport(out, updater, m_path, observer);
}

}  // namespace cli
