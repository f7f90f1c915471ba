// The browser's Web Crypto, through sys/Sha256Web.js: its digest is a
// promise, so the call waits for it (Asyncify) while the page runs on.
#include "sys/Sha256.h"

extern "C" int tvx_sha256(const void* data, std::size_t size, std::uint8_t* out);

bool SysSha256(const void* data, std::size_t size, Sha256Digest* digest, int* error)
{
    if (tvx_sha256(data, size, digest->data()) != 0)
        return true;
    *error = kSysErrorNoSha256;
    return false;
}
