#pragma once
// A real file that opens but whose reads fail (EPERM), for the read-error
// paths: the kernel's fanotify answers every read of it with a refusal. Needs
// root and a kernel with fanotify permission events; Active() says whether
// it took hold.

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace testsupport {

class ReadsDenied {
public:
    // `duringRead`, if given, runs on a thread of its own while the reader
    // waits in the kernel for the answer, once per read.
    explicit ReadsDenied(const std::string& path, std::function<void()> duringRead = {});
    ~ReadsDenied();
    ReadsDenied(const ReadsDenied&) = delete;
    ReadsDenied& operator=(const ReadsDenied&) = delete;

    bool Active() const { return m_fanotify >= 0; }

private:
    void Answer();

    std::function<void()> m_duringRead;
    int m_fanotify = -1;
    int m_stop[2] = {-1, -1};
    std::thread m_thread;
};

}  // namespace testsupport
