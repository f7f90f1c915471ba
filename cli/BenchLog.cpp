#include "cli/BenchLog.h"

#include <cerrno>
#include <chrono>
#include <cstdio>

#include "cli/Json.h"
#include "cli/Output.h"
#include "device/DownloadProtocol.h"
#include "sys/File.h"

namespace cli {
namespace {

// Now, in ISO 8601 and UTC: "2026-12-09T13:07:46Z".
std::string Now()
{
    using namespace std::chrono;
    const auto now = floor<seconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss time{now - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

const char* ResultName(const FleetOutcome& o)
{
    if (o.skip != Skip::kNone)
        return "skipped";
    return o.transfer.ok ? "updated" : o.transfer.aborted ? "aborted" : "failed";
}

}  // namespace

CBenchLog::~CBenchLog()
{
    if (m_fd >= 0)
        SysClose(m_fd);
}

bool CBenchLog::Open(const std::string& path, std::string* why)
{
    int error = 0;
    m_path = path;
    m_fd = SysOpenForAppend(path.c_str(), false, &error);
    if (m_fd >= 0 || error == ENOENT) {
        // A line left half written by an earlier run, on a full disk, is not glued to ours.
        m_midLine = m_fd >= 0 && SysEndsMidLine(path.c_str());
        return true;
    }
    *why = SysErrorText(error);
    return false;
}

bool CBenchLog::Make(std::string* why)
{
    if (m_fd >= 0 || m_path.empty())
        return true;
    int error = 0;
    m_fd = SysOpenForAppend(m_path.c_str(), true, &error);
    if (m_fd < 0) {
        *why = SysErrorText(error);
        return false;
    }
    return true;
}

bool CBenchLog::CanMake(std::string* why) const
{
    if (m_fd >= 0 || m_path.empty())
        return true;
    const int error = SysCreatableError(m_path.c_str());
    if (error != 0)
        *why = SysErrorText(error);
    return error == 0;
}

bool CBenchLog::Identity(SysFileId* id) const
{
    return m_fd >= 0 && SysFileIdOfOpen(m_fd, id);
}

void CBenchLog::SetChecksum(int checksum)
{
    char text[8];
    std::snprintf(text, sizeof text, "%.4X", static_cast<unsigned>(checksum));
    m_checksum = text;
}

void CBenchLog::Record(const FleetOutcome& o)
{
    if (m_path.empty())
        return;
    std::string why;
    if (!Make(&why)) {
        if (!m_lost)
            m_out.Complain("no se puede escribir en el registro «" + Shown(m_path) + "»: " + why);
        m_lost = true;
        return;
    }
    const FleetEntry& e = o.entry;
    JsonWriter w;
    w.Object().Str("time", Now());
    w.StrOrNull("place", e.place);
    w.StrOrNull("serial", e.serial);
    w.StrOrNull("path", e.path);
    w.StrOrNull("version", e.version);
    w.Str("checksum", m_checksum).Bool("ok", o.skip == Skip::kNone && o.transfer.ok).Str("result", ResultName(o));
    w.Str("message", o.message);
    if (o.skip != Skip::kNone)
        w.Str("reason", SkipName(o.skip)).Null("sent");
    else
        w.StrOrNull("reason", o.transfer.reason);
    if (o.skip == Skip::kNone)
        w.Num("sent", o.transfer.sent);
    w.Num("of", kDownloadReports).End();
    const std::string line = (m_midLine ? "\n" : "") + w.Text() + "\n";
    int error = 0;
    std::size_t written = 0;
    const bool whole = SysAppend(m_fd, line, &written, &error);
    if (written > 0)
        m_midLine = line[written - 1] != '\n';
    if (!whole && !m_lost) {
        m_lost = true;
        m_out.Complain("no se puede escribir en el registro «" + Shown(m_path) + "»: " + SysErrorText(error));
    }
}

}  // namespace cli
