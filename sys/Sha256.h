#pragma once
// SHA-256, as each system offers it: the browser's Web Crypto in a page,
// CNG (bcrypt) on Windows, nettle on Linux.

#include <array>
#include <cstddef>
#include <cstdint>

#include "sys/ErrorText.h"

using Sha256Digest = std::array<std::uint8_t, 32>;

// The digest of the `size` bytes at `data`; false with *error set when the
// system gives none (a browser gives it only to a secure page). In a page it
// waits for the browser: call it only where a call may wait.
bool SysSha256(const void* data, std::size_t size, Sha256Digest* digest, int* error);
