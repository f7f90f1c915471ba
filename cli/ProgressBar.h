#pragma once
// The bar that shows how far a transfer has come, on a terminal.

#include <cstdint>
#include <string>

namespace cli {

// "[####################                    ]  50%" for `value` in kProgressScale.
std::string ProgressBar(std::int32_t value);

}  // namespace cli
