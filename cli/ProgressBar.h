#pragma once
// The bar that shows how far a transfer has come, on a terminal.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace cli {

// "[####################                    ]  50%" for `value` in kProgressScale.
std::string ProgressBar(std::int32_t value);

// The columns that UTF-8 `text` takes on a terminal: one per character.
std::size_t TextColumns(std::string_view text);

// A line of a terminal `columns` wide (0: unknown) with the bar at `value`,
// after `label` (UTF-8; none when empty) padded to `labelColumns` and a
// space. It never reaches the last column, where a terminal may wrap it: when
// short of room, the label column narrows first (a longer label is cut with
// "…"), then the bar. Empty when even the narrowest bar finds no room; at an
// unknown width, or a wide one, the bar is ProgressBar's.
std::string BarLine(std::string_view label, std::size_t labelColumns, std::int32_t value, int columns);

}  // namespace cli
