#pragma once
// Calls from a worker thread into the thread that owns a window.

#include <functional>

class QObject;

// Runs `call` on the thread that owns `window` and returns once it has run;
// on that thread itself it simply runs it. The owning thread must be handling
// events (it must never wait for the caller).
void SendToWindow(QObject* window, const std::function<void()>& call);
