#include "tests/support/ReadsDenied.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/fanotify.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace testsupport {

ReadsDenied::ReadsDenied(const std::string& path, std::function<void()> duringRead)
    : m_duringRead(std::move(duringRead))
{
    m_fanotify = fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, O_RDONLY | O_CLOEXEC);
    if (m_fanotify < 0)
        return;
    if (fanotify_mark(m_fanotify, FAN_MARK_ADD, FAN_ACCESS_PERM, AT_FDCWD, path.c_str()) != 0 ||
        pipe2(m_stop, O_CLOEXEC) != 0) {
        close(m_fanotify);
        m_fanotify = -1;
        return;
    }
    m_thread = std::thread([this] { Answer(); });
}

ReadsDenied::~ReadsDenied()
{
    if (m_fanotify < 0)
        return;
    if (write(m_stop[1], "x", 1) < 0) {
        // the thread still ends when the pipe closes below
    }
    m_thread.join();
    close(m_stop[0]);
    close(m_stop[1]);
    close(m_fanotify);
}

void ReadsDenied::Answer()
{
    for (;;) {
        pollfd fds[2] = {{m_fanotify, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents != 0)
            return;
        alignas(fanotify_event_metadata) char buffer[4096];
        const ssize_t n = read(m_fanotify, buffer, sizeof buffer);
        if (n <= 0)
            continue;
        auto* event = reinterpret_cast<fanotify_event_metadata*>(buffer);
        for (ssize_t left = n; FAN_EVENT_OK(event, left); event = FAN_EVENT_NEXT(event, left)) {
            if (event->fd >= 0) {
                if (m_duringRead)
                    m_duringRead();
                fanotify_response response{event->fd, FAN_DENY};
                if (write(m_fanotify, &response, sizeof response) < 0) {
                    // the reader then waits for the group to close, which ends it too
                }
                close(event->fd);
            }
        }
    }
}

}  // namespace testsupport
