#pragma once
// Plain file access, as each operating system offers it.

#include <cstddef>
#include <string>

// Opens an existing file for reading; refuses folders and, where the system
// can, files that another program holds open. The descriptor, or -1 with
// *error set.
int SysOpenForRead(const char* path, int* error);
// Bytes read (0 at the end), or -1 with *error set.
long long SysRead(int fd, void* buffer, std::size_t size, int* error);
void SysClose(int fd);
// The system's wording of an error code from the calls above.
std::string SysErrorText(int error);
// Writes `path` whole or not at all: through a new file beside it and a rename.
// False with *reason set when it could not.
bool SysWriteFileReplacing(const char* path, const void* data, std::size_t size, std::string* reason);
// True when standard error is a terminal (worth drawing progress on).
bool SysStderrIsTerminal();
// Makes the console show the UTF-8 texts the program prints as they are.
void SysUseUtf8Console();
