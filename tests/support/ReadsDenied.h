#pragma once
// A real file that opens but whose reads fail (EPERM), for the read-error
// paths: the kernel's fanotify answers every read of it with a refusal. Needs
// root and a kernel with fanotify permission events; Active() says whether
// it took hold.

#include <atomic>
#include <string>
#include <thread>

namespace testsupport {

class ReadsDenied {
public:
    explicit ReadsDenied(const std::string& path);
    ~ReadsDenied();
    ReadsDenied(const ReadsDenied&) = delete;
    ReadsDenied& operator=(const ReadsDenied&) = delete;

    bool Active() const { return m_fanotify >= 0; }

private:
    void Answer();

    int m_fanotify = -1;
    int m_stop[2] = {-1, -1};
    std::thread m_thread;
};

}  // namespace testsupport
