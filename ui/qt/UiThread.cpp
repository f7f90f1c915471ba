#include "ui/qt/UiThread.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

#if defined(__SANITIZE_THREAD__)
#define TOLVANEX_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TOLVANEX_TSAN 1
#endif
#endif

#ifdef TOLVANEX_TSAN
// Debian's Qt is not built with ThreadSanitizer, so it cannot see the ordering
// that the blocking hand-over gives. State that ordering, and keep it from
// looking at Qt's own bookkeeping for the hand-over on this side.
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
extern "C" void __tsan_ignore_thread_begin();
extern "C" void __tsan_ignore_thread_end();
#define TSAN_ACQUIRE(addr) __tsan_acquire(addr)
#define TSAN_RELEASE(addr) __tsan_release(addr)
#define TSAN_IGNORE_BEGIN() __tsan_ignore_thread_begin()
#define TSAN_IGNORE_END() __tsan_ignore_thread_end()
#else
#define TSAN_ACQUIRE(addr) (void)(addr)
#define TSAN_RELEASE(addr) (void)(addr)
#define TSAN_IGNORE_BEGIN() (void)0
#define TSAN_IGNORE_END() (void)0
#endif

void SendToWindow(QObject* window, const std::function<void()>& call)
{
    if (QThread::currentThread() == window->thread()) {
        call();
        return;
    }
    int handOver = 0;
    TSAN_RELEASE(&handOver);
    TSAN_IGNORE_BEGIN();
    QMetaObject::invokeMethod(
        window,
        [&call, &handOver] {
            TSAN_ACQUIRE(&handOver);
            call();
            TSAN_RELEASE(&handOver);
        },
        Qt::BlockingQueuedConnection);
    TSAN_IGNORE_END();
    TSAN_ACQUIRE(&handOver);
}
