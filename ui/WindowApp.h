#pragma once
// The window toolkit's start-up and shut-down around the program: the first
// object of main, the last to go. It looks at no argument but the program's
// own path.

#include <memory>

namespace wnd {

class Application {
public:
    Application(int argc, char** argv);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // A message loop of the application's own, until it is told to quit.
    int Run();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace wnd
