#include "firmware/ByteSource.h"

#include "device/SystemFile.h"
#include "firmware/FileException.h"

CFileByteSource::~CFileByteSource()
{
    if (m_fd >= 0)
        SysClose(m_fd);
}

bool CFileByteSource::Open(const char* path)
{
    m_path = path;
    m_fd = SysOpenForRead(path, &m_error);
    return m_fd >= 0;
}

std::size_t CFileByteSource::Read(void* buffer, std::size_t size)
{
    int error = 0;
    const long long n = SysRead(m_fd, buffer, size, &error);
    if (n < 0)
        throw CFileException(m_path, error);
    return static_cast<std::size_t>(n);
}
