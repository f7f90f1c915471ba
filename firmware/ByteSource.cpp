#include "firmware/ByteSource.h"

#include <algorithm>
#include <cstring>

#include "firmware/FileException.h"
#include "sys/File.h"

CFileByteSource::~CFileByteSource()
{
    if (m_owned)
        SysClose(m_fd);
}

bool CFileByteSource::Open(const char* path)
{
    m_path = path;
    m_fd = SysOpenForRead(path, &m_error);
    m_owned = m_fd >= 0;
    return m_owned;
}

void CFileByteSource::Attach(int fd, std::string name)
{
    m_path = std::move(name);
    m_fd = fd;
    m_owned = false;
}

std::size_t CFileByteSource::Read(void* buffer, std::size_t size)
{
    int error = 0;
    const long long n = SysRead(m_fd, buffer, size, &error);
    if (n < 0)
        throw CFileException(m_path, error);
    return static_cast<std::size_t>(n);
}

std::size_t CMemoryByteSource::Read(void* buffer, std::size_t size)
{
    const std::size_t n = std::min(size, m_size - m_pos);
    std::memcpy(buffer, m_data + m_pos, n);
    m_pos += n;
    return n;
}
