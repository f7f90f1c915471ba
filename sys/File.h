#pragma once
// Reading and writing files as each operating system offers it. Paths and
// texts are UTF-8; errors are codes for SysErrorText (sys/ErrorText.h).

#include <cstddef>
#include <string>

#include "sys/ErrorText.h"

// True when `path` names its file whatever the current folder: from the root
// ("/..."), or on Windows with its drive ("C:\...") or server ("\\server\...").
bool SysIsAbsolutePath(const char* path);
// Opens an existing regular file for reading. It never blocks: devices,
// pipes, FIFOs, sockets, folders and the kernel's own files are refused
// before anything is read, and so, where the system can tell, are files that
// another program holds open. The descriptor, or -1 with *error set.
int SysOpenForRead(const char* path, int* error);
// Standard input, ready to hand over bytes unchanged; not to be closed.
int SysStandardInput();
// Bytes read (0 at the end), or -1 with *error set.
long long SysRead(int fd, void* buffer, std::size_t size, int* error);
void SysClose(int fd);

// Writes `data` to `path` the way a user expects of an output file:
// - an existing device or FIFO gets the bytes in place;
// - a symbolic link is followed, and its target is replaced;
// - a regular file is replaced whole or not at all, through a short-named
//   temporary file beside it and a rename, keeping its mode (and its owner
//   where allowed); the temporary file never outlives an error or a stop
//   signal.
// False with *reason set when it could not.
bool SysWriteOutput(const char* path, const void* data, std::size_t size, std::string* reason);
// The path of `relative` (parts joined by '/') in the folder that holds
// `file`, written the system's way.
std::string SysPathBeside(const std::string& file, const std::string& relative);
// Which file on the disk a name stands for, whatever the name: a symbolic or
// a hard link to a file has that file's identity. The device and inode on
// POSIX; the volume's serial number and the file's index on Windows.
struct SysFileId {
    unsigned long long volume = 0;
    unsigned long long index = 0;
    bool operator==(const SysFileId&) const = default;
};
// The identity of the regular file at `path` (links followed): the only kind
// of file whose bytes an output would lose. False for a missing path, a
// folder, a device, a pipe.
bool SysFileIdOf(const char* path, SysFileId* id);
// The same for an open descriptor.
bool SysFileIdOfOpen(int fd, SysFileId* id);
// The same for standard input (0), output (1) or error (2).
bool SysStandardStreamId(int stream, SysFileId* id);
// True when both paths name one existing regular file (links followed).
bool SysSameFile(const char* a, const char* b);

// Why no temporary file could be made in `folder` ("" for the current one).
inline std::string TemporaryFileReason(std::string folder, const std::string& why)
{
    if (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\'))
        folder.pop_back();
    return "no se puede crear un archivo temporal en la carpeta «" + (folder.empty() ? std::string(".") : folder) +
           "»: " + why;
}
// Opens `path` to add lines at its end, shared with other programs that add
// to it; with `create`, made (mode 0644) when missing, else a missing file is
// ENOENT. It never blocks: a FIFO with no reader is kSysErrorNoReader. The
// descriptor, or -1 with *error set.
int SysOpenForAppend(const char* path, bool create, int* error);
// 0 when a file could be made at the missing `path` now: its folder exists,
// and this user may add to it where the system can tell; else why not.
int SysCreatableError(const char* path);
// True when the regular file at `path` ends inside a line: its last byte is
// not a line end. False for an empty file, or when that cannot be told.
bool SysEndsMidLine(const char* path);
// Adds `text` at the end of the file in one write, so that the lines of
// several programs do not mix; false with *error set to why the system took
// no more. *written gets how many bytes went out, which a full disk or a size
// limit can leave short of the whole.
bool SysAppend(int fd, const std::string& text, std::size_t* written, int* error);

// Writes all of `data` to standard output, bytes unchanged; false with
// *error set on failure.
bool SysWriteStandardOutput(const void* data, std::size_t size, int* error);
