#pragma once
// What the web page adds to the window layer: a page cannot end itself, so
// a window shown without a modal run tells its end to whoever runs the page.

#include <cstdint>
#include <functional>
#include <string>

#include "ui/WindowPlatform.h"

namespace wnd {

// Where a chosen file is put (in the program's own memory) for LoadHexFile.
inline constexpr const char* kChosenFileFolder = "/elegido";

// Called, after the event that ended it, when a window shown with
// CreateModeless ends (EndModal). Returns the previous handler.
using ModelessEndHandler = std::function<void(Handle window, std::intptr_t result)>;
ModelessEndHandler SetModelessEndHandler(ModelessEndHandler handler);

// The caption of the boxes that the page shows of itself (a drop refused),
// the same as the program's own boxes: its name.
void SetPageBoxCaption(const std::string& caption);

}  // namespace wnd
