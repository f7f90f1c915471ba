#pragma once
// flash --log FILE: a bench's record, one JSON line per controller added to
// FILE as each one ends: when, which controller, which image, and how it went.
// Several benches may add to one FILE: each line goes out in one write.

#include <string>

#include "cli/Reporter.h"

struct SysFileId;

namespace cli {

class COutput;

class CBenchLog {
public:
    // Its troubles are told to `out`.
    explicit CBenchLog(COutput& out) : m_out(out) {}
    ~CBenchLog();
    CBenchLog(const CBenchLog&) = delete;
    CBenchLog& operator=(const CBenchLog&) = delete;

    // Opens `path` to add to it when it exists; a missing one is made by the
    // first Record, so that a run that ends before any controller leaves
    // nothing behind. False with a Spanish *why when it does not open.
    bool Open(const std::string& path, std::string* why);
    // True when the file that Open found missing could be made now, or
    // there is nothing to make; false with a Spanish *why.
    bool CanMake(std::string* why) const;
    // The path given to Open; empty when none was.
    const std::string& Path() const { return m_path; }
    // The open file's identity; false when none is open, or it is not a
    // regular file.
    bool Identity(SysFileId* id) const;
    // The checksum of the image that is sent.
    void SetChecksum(int checksum);
    // One controller's line; nothing when no log was opened. A line that
    // cannot be written is told on stderr, once, and the next one starts on
    // a line of its own.
    void Record(const FleetOutcome& outcome);
    // True when a line could not be written.
    bool Lost() const { return m_lost; }

private:
    // Makes the file that Open found missing; false with a Spanish *why.
    bool Make(std::string* why);

    COutput& m_out;
    int m_fd = -1;
    std::string m_path;
    std::string m_checksum;
    bool m_lost = false;
    bool m_midLine = false;  // the file ends in a line cut short: the next one starts afresh
};

}  // namespace cli
