#pragma once
// For timing a start (bench/compare.sh times ours and a bare Qt dialog with
// this same code): with TOLVANEX_FIRST_PAINT_FD set to an open descriptor,
// one byte is written on it, and it is closed, once a top-level window has
// handled its first expose, which paints the whole window and hands the
// pixels to the display. Unset, it costs one comparison per event.

#include <QEvent>
#include <QWindow>

#include <cstdlib>

#include <unistd.h>

class FirstPaintReport {
public:
    FirstPaintReport()
    {
        if (const char* fd = std::getenv("TOLVANEX_FIRST_PAINT_FD")) {
            m_fd = std::atoi(fd);
            unsetenv("TOLVANEX_FIRST_PAINT_FD");  // not for the program's children
        }
    }

    // After the application has handled `event` for `receiver`, on any
    // thread; exposes come only to the UI thread, the one that reports.
    void Handled(QObject* receiver, const QEvent* event)
    {
        if (event->type() != QEvent::Expose || m_fd < 0)
            return;
        const auto* window = qobject_cast<const QWindow*>(receiver);
        if (window == nullptr || !window->isTopLevel() || !window->isExposed())
            return;
        Report();
    }

private:
    // Kept out of line, so that a profiler can stop there.
    [[gnu::noinline]] void Report()
    {
        [[maybe_unused]] const ssize_t written = write(m_fd, "p", 1);
        close(m_fd);
        m_fd = -1;
    }

    int m_fd = -1;
};
