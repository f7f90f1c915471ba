#pragma once
// Bytes from memory for the HEX reader: at most `chunk` per Read; once
// `failAfter` bytes have been handed out, the next Read throws like a failing disk.

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string>

#include "firmware/ByteSource.h"
#include "firmware/FileException.h"

namespace testsupport {

class MemorySource : public CByteSource {
public:
    explicit MemorySource(std::string data, std::size_t chunk = SIZE_MAX, std::size_t failAfter = SIZE_MAX)
        : m_data(std::move(data)), m_chunk(chunk), m_failAfter(failAfter)
    {
    }
    std::size_t Read(void* buffer, std::size_t size) override
    {
        if (m_pos >= m_failAfter)
            throw CFileException("disco/roto.hex", EIO);
        const std::size_t n = std::min({size, m_chunk, m_data.size() - m_pos, m_failAfter - m_pos});
        std::copy_n(m_data.data() + m_pos, n, static_cast<char*>(buffer));
        m_pos += n;
        return n;
    }
    std::size_t Position() const { return m_pos; }

private:
    std::string m_data;
    std::size_t m_chunk;
    std::size_t m_failAfter;
    std::size_t m_pos = 0;
};

}  // namespace testsupport
