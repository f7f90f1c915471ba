#include "cli/Output.h"

#include <cerrno>
#include <cstdio>

#include "cli/ExitCodes.h"
#include "sys/File.h"
#include "sys/Process.h"

namespace cli {
namespace {

bool g_verbose = false;

}  // namespace

std::string Shown(std::string_view text)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            // U+0080 to U+009F in UTF-8: some terminals take U+009B for ESC [.
            const auto low = static_cast<unsigned char>(text[++i]);
            out += "\\u00";
            out += kHex[low >> 4];
            out += kHex[low & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void COutput::Complain(const std::string& message)
{
    m_lastComplaint = message;
    Err("tolvanex-cli: " + message + "\n");
}

void Err(const std::string& text)
{
    SysWriteStandard(2, text);
}

std::string FreshLine()
{
    if (SysStderrTakesCursorMoves())
        return "\r\x1b[K";
    return SysStderrIsTerminal() ? "\n" : "";
}

void SetVerbose(bool verbose)
{
    g_verbose = verbose;
}

bool Verbose()
{
    return g_verbose;
}

void COutput::Print(const std::string& text)
{
    errno = 0;
    if (!SysWriteStandard(1, text) && m_error == 0)
        m_error = errno != 0 ? errno : EIO;
}

void COutput::PrintData(const std::string& text)
{
    errno = 0;
    if (!SysWriteStandardData(1, text) && m_error == 0)
        m_error = errno != 0 ? errno : EIO;
}

void COutput::Flush()
{
    errno = 0;
    if (std::fflush(stdout) != 0 && m_error == 0)
        m_error = errno != 0 ? errno : EIO;
}

int COutput::Finish(int status)
{
    Flush();
    if (std::ferror(stdout) && m_error == 0)
        m_error = EIO;
    if (m_error == 0)
        return status;
    Complain("no se puede escribir la salida estándar: " + SysErrorText(m_error));
    if (m_updated != 0) {
        // Only what was updated: with many controllers, some may have failed.
        Complain((m_updated == 1 && status == kExitOk ? std::string("el mando se ha actualizado")
                  : m_updated == 1                    ? std::string("se ha actualizado 1 mando")
                                                      : "se han actualizado " + std::to_string(m_updated) + " mandos") +
                 ", pero lo que había que decir en la salida estándar se ha perdido");
        return status == kExitOk ? kExitOutputLost : status;
    }
    return status == kExitOk ? kExitFile : status;
}

}  // namespace cli
