#pragma once
// The Intel HEX reader: data records with 16-bit addresses, applied in file
// order to the image window 0x0000-0x3FFF. It checks no record checksum and
// passes over what it cannot use.

#include <cstdint>
#include <string_view>

#include "firmware/HexRecord.h"

class CByteSource;

// Watches a read line by line: every line the input holds, those after the
// record that ends the read included, with what the read made of it. Of a
// very long line `line` holds only the start that a record can use; `extent`
// tells the whole of it.
class CHexLineObserver {
public:
    virtual ~CHexLineObserver() = default;
    virtual void OnLine(std::string_view line, const HexLineExtent& extent, HexLineRole role,
                        const HexLinePlace& place) = 0;
    // A 0x1A byte ended the input, in the middle of the line last seen or,
    // when not `midLine`, at the start of the next; the lines after it follow
    // as kAfterEndByte.
    virtual void OnEndByte(bool midLine) = 0;
};

// Applies one line (without its line end) to the image. False when the line is
// a record of a type other than data, which ends the read. Sets *stored when a
// data byte landed in the image.
bool ApplyHexLine(std::string_view line, std::uint8_t* image, bool* stored = nullptr);

// Reads every line of `source` and applies it to `image`, which the caller has
// erased. Lines end at LF, a CR just before the LF goes with it, and a 0x1A
// byte ends the input. Memory use is bounded whatever the lengths involved.
// Takes the variant that HexVariant.h names; each applies lines as ApplyHexLine does.
// True when any data record stored a byte in the image.
bool ReadHex(CByteSource& source, std::uint8_t* image);

// The same read, with `observer` told of every line on the way: one pass over
// the input, so standard input works too. It takes the plain digit code; the
// unobserved read above keeps the fastest variant to itself.
bool ReadHex(CByteSource& source, std::uint8_t* image, CHexLineObserver& observer);
