/* Small helpers that the VM tests run inside the guest, where only busybox
 * is at hand. One static binary, several commands:
 *   vmtool wait-hidraw N MS      print the hidraw nodes of 0E8F:310D once N exist
 *   vmtool bare NODE IMAGE       write the 2,049 reports of IMAGE back to back (the floor)
 *   vmtool hidg [-p US] DEV OUT [K UDC]
 *                                record reports read from a HID gadget, with -p
 *                                one every US microseconds at most (the host's
 *                                writes wait once the gadget's few buffers are
 *                                full, as with slow hardware); after K reports
 *                                write "" to UDC (an unplug) and stop
 *   vmtool time CMD ARGS...      run CMD, report its wall time on stderr */
#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

enum { kImageSize = 16384, kReportLen = 9, kDataReports = kImageSize / 8 };

static double NowMs(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec * 1000.0 + (double)ts.tv_nsec / 1e6;
}

static int CompareNames(const void* a, const void* b)
{
    const char* x = *(const char* const*)a;
    const char* y = *(const char* const*)b;
    size_t lx = strlen(x);
    size_t ly = strlen(y);
    /* hidraw2 before hidraw10 */
    if (lx != ly)
        return lx < ly ? -1 : 1;
    return strcmp(x, y);
}

static int ListMatching(char names[][32], int max)
{
    DIR* d = opendir("/sys/class/hidraw");
    if (d == NULL)
        return 0;
    int n = 0;
    struct dirent* e;
    while ((e = readdir(d)) != NULL && n < max) {
        if (strncmp(e->d_name, "hidraw", 6) != 0)
            continue;
        char path[300];
        snprintf(path, sizeof path, "/sys/class/hidraw/%s/device/uevent", e->d_name);
        FILE* f = fopen(path, "r");
        if (f == NULL)
            continue;
        char line[256];
        int match = 0;
        while (fgets(line, sizeof line, f) != NULL)
            if (strncmp(line, "HID_ID=", 7) == 0 && strstr(line, ":00000E8F:0000310D") != NULL)
                match = 1;
        fclose(f);
        if (match)
            snprintf(names[n++], 32, "%.24s", e->d_name);
    }
    closedir(d);
    return n;
}

static int WaitHidraw(int argc, char** argv)
{
    if (argc != 2)
        return 1;
    int want = atoi(argv[0]);
    double deadline = NowMs() + atof(argv[1]);
    char names[16][32];
    for (;;) {
        int n = ListMatching(names, 16);
        if (n >= want) {
            const char* order[16];
            for (int i = 0; i < n; ++i)
                order[i] = names[i];
            qsort(order, (size_t)n, sizeof order[0], CompareNames);
            for (int i = 0; i < n; ++i) {
                char dev[48];
                snprintf(dev, sizeof dev, "/dev/%s", order[i]);
                /* devtmpfs makes the node a moment after sysfs shows it */
                while (access(dev, W_OK) != 0 && NowMs() < deadline)
                    usleep(5000);
                printf("%s\n", dev);
            }
            return 0;
        }
        if (NowMs() > deadline) {
            fprintf(stderr, "vmtool: %d hidraw node(s) of 0E8F:310D wanted, %d found\n", want, n);
            return 1;
        }
        usleep(10000);
    }
}

static int Bare(int argc, char** argv)
{
    if (argc != 2)
        return 1;
    unsigned char image[kImageSize];
    FILE* f = fopen(argv[1], "rb");
    if (f == NULL || fread(image, 1, sizeof image, f) != sizeof image) {
        fprintf(stderr, "vmtool: cannot read 16384 bytes from %s\n", argv[1]);
        if (f != NULL)
            fclose(f);
        return 1;
    }
    fclose(f);
    int fd = open(argv[0], O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        fprintf(stderr, "vmtool: %s: %s\n", argv[0], strerror(errno));
        return 1;
    }
    unsigned char report[kReportLen] = {0, 'D', 'O', 'W', 'N', 'L', 'O', 'A', 'D'};
    double start = NowMs();
    int written = 0;
    for (int i = -1; i < kDataReports; ++i) {
        if (i >= 0)
            memcpy(report + 1, image + 8 * i, 8);
        if (write(fd, report, sizeof report) != (ssize_t)sizeof report) {
            fprintf(stderr, "vmtool: write %d: %s\n", i + 1, strerror(errno));
            break;
        }
        ++written;
    }
    double ms = NowMs() - start;
    close(fd);
    printf("bare: %d reports in %.1f ms\n", written, ms);
    return written == kDataReports + 1 ? 0 : 1;
}

static volatile sig_atomic_t g_stop;

static void OnSignal(int sig)
{
    (void)sig;
    g_stop = 1;
}

static void SleepUntilMs(double ms)
{
    struct timespec ts;
    ts.tv_sec = (time_t)(ms / 1000.0);
    ts.tv_nsec = (long)((ms - (double)ts.tv_sec * 1000.0) * 1e6);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, NULL) == EINTR && !g_stop) {
    }
}

static int Hidg(int argc, char** argv)
{
    double paceMs = 0;
    if (argc >= 2 && strcmp(argv[0], "-p") == 0) {
        paceMs = atof(argv[1]) / 1000.0;
        argc -= 2;
        argv += 2;
    }
    if (argc != 2 && argc != 4)
        return 1;
    long unplugAfter = argc == 4 ? atol(argv[2]) : -1;
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnSignal;
    sigaction(SIGTERM, &sa, NULL);
    sigaction(SIGINT, &sa, NULL);
    sigset_t stopSignals;
    sigset_t waitMask;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);

    int fd = open(argv[0], O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        fprintf(stderr, "vmtool: %s: %s\n", argv[0], strerror(errno));
        return 1;
    }
    FILE* out = fopen(argv[1], "w");
    if (out == NULL) {
        close(fd);
        return 1;
    }
    long count = 0;
    int rc = 0;
    double next = 0;
    for (;;) {
        if (!g_stop) {
            struct pollfd pfd = {fd, POLLIN, 0};
            if (ppoll(&pfd, 1, NULL, &waitMask) < 0 && errno != EINTR) {
                rc = 1;
                break;
            }
        }
        unsigned char buf[64];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR || (errno == EAGAIN && !g_stop))
                continue;
            if (errno != EAGAIN)
                rc = 1;
            break;
        }
        for (ssize_t i = 0; i < n; ++i)
            fprintf(out, "%02x", buf[i]);
        fputc('\n', out);
        if (paceMs > 0) {
            /* One period after the last one's turn; a late one does not
             * earn a burst. */
            double now = NowMs();
            next = next + paceMs > now ? next + paceMs : now;
            SleepUntilMs(next);
        }
        if (++count == unplugAfter) {
            fflush(out);
            int u = open(argv[3], O_WRONLY | O_CLOEXEC);
            if (u < 0 || write(u, "\n", 1) != 1) {
                fprintf(stderr, "vmtool: unbind %s: %s\n", argv[3], strerror(errno));
                rc = 1;
            }
            if (u >= 0)
                close(u);
            break;
        }
    }
    if (fclose(out) != 0)
        rc = 1;
    close(fd);
    return rc;
}

static int Time(int argc, char** argv)
{
    if (argc < 1)
        return 1;
    double start = NowMs();
    pid_t pid = fork();
    if (pid < 0)
        return 1;
    if (pid == 0) {
        execvp(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    fprintf(stderr, "time: %.1f ms\n", NowMs() - start);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int main(int argc, char** argv)
{
    if (argc >= 2) {
        int rest = argc - 2;
        char** args = argv + 2;
        if (strcmp(argv[1], "wait-hidraw") == 0)
            return WaitHidraw(rest, args);
        if (strcmp(argv[1], "bare") == 0)
            return Bare(rest, args);
        if (strcmp(argv[1], "hidg") == 0)
            return Hidg(rest, args);
        if (strcmp(argv[1], "time") == 0)
            return Time(rest, args);
    }
    fputs("usage: vmtool wait-hidraw|bare|hidg|time ...\n", stderr);
    return 1;
}
