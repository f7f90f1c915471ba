#pragma once
// A file that opened but could not be read: carries the file's path and the
// system's error code, as the program reports it to the user.

#include <stdexcept>
#include <string>

class CFileException : public std::runtime_error {
public:
    CFileException(std::string path, int osError);

    const std::string& FileName() const { return m_path; }
    int OsError() const { return m_osError; }
    // The system's own wording of the error.
    std::string Reason() const;

private:
    std::string m_path;
    int m_osError;
};
