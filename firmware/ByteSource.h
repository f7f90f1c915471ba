#pragma once
// Where the HEX reader takes its bytes from.

#include <cstddef>
#include <string>

class CByteSource {
public:
    virtual ~CByteSource() = default;
    // Up to `size` bytes into `buffer`; 0 only at the end of the input.
    // A read error throws CFileException.
    virtual std::size_t Read(void* buffer, std::size_t size) = 0;
};

// A file opened for reading, closed again when the object goes.
class CFileByteSource : public CByteSource {
public:
    CFileByteSource() = default;
    ~CFileByteSource() override;
    CFileByteSource(const CFileByteSource&) = delete;
    CFileByteSource& operator=(const CFileByteSource&) = delete;

    // False when the file does not open: missing, a folder, not readable, or
    // (where the system can tell) held open by another program. OsError() says why.
    bool Open(const char* path);
    // Reads from `fd`, which stays open afterwards (standard input, say);
    // `name` stands for it in error messages.
    void Attach(int fd, std::string name);
    int OsError() const { return m_error; }
    std::size_t Read(void* buffer, std::size_t size) override;

private:
    std::string m_path;
    int m_fd = -1;
    bool m_owned = false;
    int m_error = 0;
};

// Bytes already in memory; the caller keeps them while it reads.
class CMemoryByteSource : public CByteSource {
public:
    CMemoryByteSource(const void* data, std::size_t size) : m_data(static_cast<const char*>(data)), m_size(size) {}
    std::size_t Read(void* buffer, std::size_t size) override;

private:
    const char* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};
