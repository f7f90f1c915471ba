#pragma once
// The application icon (IDR_MAINFRAME), built into the program in the sizes
// that the window manager and the About box ask for.

#include <QIcon>

QIcon AppIcon();
