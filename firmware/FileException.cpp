#include "firmware/FileException.h"

#include "sys/File.h"

CFileException::CFileException(std::string path, int osError)
    : std::runtime_error(path + ": " + SysErrorText(osError)), m_path(std::move(path)), m_osError(osError)
{
}

std::string CFileException::Reason() const
{
    return SysErrorText(m_osError);
}
