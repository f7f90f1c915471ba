#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <algorithm>

#include "sys/Sha256.h"

namespace {

// Closes what CNG opened, whatever came of the hash.
struct Provider {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    ~Provider()
    {
        if (hash != nullptr)
            BCryptDestroyHash(hash);
        if (algorithm != nullptr)
            BCryptCloseAlgorithmProvider(algorithm, 0);
    }
};

}  // namespace

bool SysSha256(const void* data, std::size_t size, Sha256Digest* digest, int* error)
{
    Provider p;
    bool ok = BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&p.algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
              BCRYPT_SUCCESS(BCryptCreateHash(p.algorithm, &p.hash, nullptr, 0, nullptr, 0, 0));
    // CNG takes at most 4 GiB - 1 at a time.
    auto* at = static_cast<UCHAR*>(const_cast<void*>(data));
    for (std::size_t left = size; ok && left != 0;) {
        const ULONG chunk = static_cast<ULONG>(std::min<std::size_t>(left, 0xFFFFFFFFu));
        ok = BCRYPT_SUCCESS(BCryptHashData(p.hash, at, chunk, 0));
        at += chunk;
        left -= chunk;
    }
    ok = ok && BCRYPT_SUCCESS(BCryptFinishHash(p.hash, digest->data(), static_cast<ULONG>(digest->size()), 0));
    if (!ok)
        *error = kSysErrorNoSha256;
    return ok;
}
