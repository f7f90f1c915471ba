#include "cli/LoadFile.h"

#include <algorithm>

#include "cli/Output.h"
#include "firmware/ByteSource.h"
#include "firmware/Catalogue.h"
#include "firmware/FileException.h"
#include "firmware/FirmwareUpdater.h"
#include "sys/File.h"

namespace cli {

bool LoadFileOrReport(COutput& out, CFirmwareUpdater& updater, const std::string& path, CHexLineObserver* observer)
{
    CFileByteSource file;
    if (path == "-") {
        // The user asked for it, so a pipe or a terminal is fine here.
        file.Attach(SysStandardInput(), "-");
    } else if (!file.Open(path.c_str())) {
        out.Complain("no se puede abrir «" + Shown(path) + "»: " + SysErrorText(file.OsError()));
        return false;
    }
    try {
        updater.LoadHex(file, observer);
    } catch (const CFileException& e) {
        out.Complain("error al leer «" + Shown(path) + "»: " + e.Reason());
        return false;
    }
    return true;
}

bool ReadFileOrReport(COutput& out, const std::string& path, std::size_t limit, std::string* bytes)
{
    CFileByteSource file;
    if (!file.Open(path.c_str())) {
        out.Complain("no se puede abrir «" + Shown(path) + "»: " + SysErrorText(file.OsError()));
        return false;
    }
    bytes->clear();
    try {
        char buffer[64 * 1024];
        while (bytes->size() < limit) {
            const std::size_t n = file.Read(buffer, std::min(sizeof buffer, limit - bytes->size()));
            if (n == 0)
                break;
            bytes->append(buffer, n);
        }
    } catch (const CFileException& e) {
        out.Complain("error al leer «" + Shown(path) + "»: " + e.Reason());
        return false;
    }
    return true;
}

bool LoadReleaseOrReport(COutput& out, CFirmwareUpdater& updater, const std::string& path,
                         const CatalogueRelease& release, CHexLineObserver* observer)
{
    // One byte more than a release may have tells one that is too large.
    std::string bytes;
    if (!ReadFileOrReport(out, path, kMaxReleaseFileSize + 1, &bytes))
        return false;
    std::string why;
    if (!CheckReleaseFile(release, bytes.data(), bytes.size(), &why)) {
        out.Complain("«" + Shown(path) + "»: " + why);
        return false;
    }
    CMemoryByteSource source(bytes.data(), bytes.size());
    updater.LoadHex(source, observer);
    return true;
}

}  // namespace cli
