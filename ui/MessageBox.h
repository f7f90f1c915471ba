#pragma once
// The program's message boxes: one OK button, owned by `owner` (modal over it),
// and captioned with the application's name, QCoreApplication::applicationName().
// The app shell sets that name at start-up to the executable's file name
// without directory and extension; these functions only read it.

#include <QString>

class QWidget;

// No icon (MB_OK).
void ShowMessageBox(QWidget* owner, const QString& text);

// Stop icon: how an error that escaped a handler is reported.
void ShowStopBox(QWidget* owner, const QString& text);
