// Any bytes as a HID report descriptor: the parser must stay inside them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "device/ReportDescriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const hidplat::ReportLengths lengths = hidplat::ComputeReportLengths(data, size);
    // A report that exists holds a data byte besides its ID.
    if (lengths.input == 1 || lengths.output == 1 || lengths.feature == 1)
        std::abort();
    return 0;
}
