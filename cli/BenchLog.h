#pragma once
// flash --log FILE: a bench's record, one JSON line per controller added to
// FILE as each one ends: when, which controller, which image, and how it went.

#include <string>

#include "cli/Reporter.h"

namespace cli {

class CBenchLog {
public:
    CBenchLog() = default;
    ~CBenchLog();
    CBenchLog(const CBenchLog&) = delete;
    CBenchLog& operator=(const CBenchLog&) = delete;

    // Opens `path` to add to it; false with a Spanish *why when it does not open.
    bool Open(const std::string& path, std::string* why);
    // The checksum of the image that is sent.
    void SetChecksum(int checksum);
    // One controller's line; nothing when no log was opened. A line that
    // cannot be written is told on stderr, once.
    void Record(const FleetOutcome& outcome);
    // True when a line could not be written.
    bool Lost() const { return m_lost; }

private:
    int m_fd = -1;
    std::string m_path;
    std::string m_checksum;
    bool m_lost = false;
};

}  // namespace cli
