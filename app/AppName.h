#pragma once
// The application's name: the executable's file name without its directory
// and without its extension. Every message box uses it as its caption.

#include <string>
#include <string_view>

// Takes the file name first (after the last '/', '\\' or ':'), then drops its
// extension if it has one, so "/home/ana/.local/bin/tolvanex-updater" keeps its
// name. A leading dot starts a hidden file's name, not an extension.
std::string AppNameFromModulePath(std::string_view modulePath);
