#include "cli/LoadFile.h"

#include "cli/Output.h"
#include "firmware/ByteSource.h"
#include "firmware/FileException.h"
#include "firmware/FirmwareUpdater.h"
#include "sys/File.h"

namespace cli {

bool LoadFileOrReport(CFirmwareUpdater& updater, const std::string& path, CHexLineObserver* observer)
{
    CFileByteSource file;
    if (path == "-") {
        // The user asked for it, so a pipe or a terminal is fine here.
        file.Attach(SysStandardInput(), "-");
    } else if (!file.Open(path.c_str())) {
        Complain("no se puede abrir «" + Shown(path) + "»: " + SysErrorText(file.OsError()));
        return false;
    }
    try {
        updater.LoadHex(file, observer);
    } catch (const CFileException& e) {
        Complain("error al leer «" + Shown(path) + "»: " + e.Reason());
        return false;
    }
    return true;
}

}  // namespace cli
