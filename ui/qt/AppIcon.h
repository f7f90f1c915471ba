#pragma once
// The program's icon, from the PNG images in the resources.

#include <QIcon>

// The icon, made once and shared by its copies. An image is decoded the first
// time a size it serves is asked for: decoding them all costs more than the
// rest of the window's start, and most uses want one or two.
QIcon AppIcon();

// A window's icon reaches the window system in two steps: the sizes of a
// title bar and a task bar (these) before the window first shows, all of them
// once it has painted. Decoding the others would hold up that paint.
QIcon EarlyIcon(const QIcon& icon);
