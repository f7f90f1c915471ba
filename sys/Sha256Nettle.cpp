#include <nettle/sha2.h>

#include "sys/Sha256.h"

bool SysSha256(const void* data, std::size_t size, Sha256Digest* digest, int*)
{
    sha256_ctx context;
    sha256_init(&context);
    sha256_update(&context, size, static_cast<const std::uint8_t*>(data));
    sha256_digest(&context, digest->size(), digest->data());
    return true;
}
