#pragma once
// The Intel HEX reader: data records with 16-bit addresses, applied in file
// order to the image window 0x0000-0x3FFF. It checks no record checksum and
// passes over what it cannot use.

#include <cstdint>
#include <string_view>

class CByteSource;

// Applies one line (without its line end) to the image. False when the line is
// a record of a type other than data, which ends the read. Sets *stored when a
// data byte landed in the image.
bool ApplyHexLine(std::string_view line, std::uint8_t* image, bool* stored = nullptr);

// Reads every line of `source` and applies it to `image`, which the caller has
// erased. Lines end at LF, a CR just before the LF goes with it, and a 0x1A
// byte ends the input. Memory use is bounded whatever the lengths involved.
// Takes the path that HexPath.h names; each applies lines as ApplyHexLine does.
// True when any data record stored a byte in the image.
bool ReadHex(CByteSource& source, std::uint8_t* image);
