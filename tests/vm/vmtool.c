/* Small helpers that the VM tests run inside the guest, where only busybox
 * is at hand. One static binary, several commands:
 *   vmtool wait-hidraw N MS      print the hidraw nodes of 0E8F:310D once N exist
 *                                (MS 0: look once; status 1 when fewer)
 *   vmtool bare NODE IMAGE       write the 2,049 reports of IMAGE back to back (the floor)
 *   vmtool hidg [-p US] DEV OUT [K UDC]
 *                                record reports read from a HID gadget, with -p
 *                                one every US microseconds at most (the host's
 *                                writes wait once the gadget's few buffers are
 *                                full, as with slow hardware); after K reports
 *                                write "" to UDC (an unplug) and stop
 *   vmtool ffs-hid [-p US] DIR OUT
 *                                be the controller's HID interface on a FunctionFS
 *                                function mounted at DIR, as f_hid is, and record
 *                                like hidg (f_hid has only four instances; this
 *                                has no limit); ready once DIR/ep2 exists
 *   vmtool time CMD ARGS...      run CMD, report its wall time on stderr */
#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <endian.h>
#include <fcntl.h>
#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/time.h>
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
        const char* order[16];
        for (int i = 0; i < n; ++i)
            order[i] = names[i];
        qsort(order, (size_t)n, sizeof order[0], CompareNames);
        /* devtmpfs makes the node a moment after sysfs shows it */
        char devs[16][48];
        int ready = 0;
        for (int i = 0; i < n; ++i) {
            snprintf(devs[i], sizeof devs[i], "/dev/%s", order[i]);
            ready += access(devs[i], W_OK) == 0;
        }
        if (n >= want && ready == n) {
            for (int i = 0; i < n; ++i)
                printf("%s\n", devs[i]);
            return 0;
        }
        if (NowMs() >= deadline) {
            fprintf(stderr, "vmtool: %d hidraw node(s) of 0E8F:310D wanted, %d found\n", want, ready);
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

static void OnTick(int sig)
{
    (void)sig;
}

static void SleepUntilMs(double ms)
{
    struct timespec ts;
    ts.tv_sec = (time_t)(ms / 1000.0);
    ts.tv_nsec = (long)((ms - (double)ts.tv_sec * 1000.0) * 1e6);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, NULL) == EINTR && !g_stop) {
    }
}

/* One line of hex digits per report; with a pace, the next report waits for
 * one period after the last one's turn (a late one does not earn a burst). */
static void RecordReport(FILE* out, const unsigned char* buf, ssize_t n, double paceMs, double* next)
{
    for (ssize_t i = 0; i < n; ++i)
        fprintf(out, "%02x", buf[i]);
    fputc('\n', out);
    if (paceMs > 0) {
        double now = NowMs();
        *next = *next + paceMs > now ? *next + paceMs : now;
        SleepUntilMs(*next);
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
        RecordReport(out, buf, n, paceMs, &next);
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

/* The controller's report descriptor: one 8-byte output report on a vendor
 * page, no report IDs (as the f_hid gadgets get it). */
static const unsigned char kReportDescriptor[] = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x09, 0x02, 0x15, 0x00,
                                                  0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x08, 0x91, 0x02, 0xC0};

struct __attribute__((packed)) HidClassDescriptor {
    unsigned char bLength, bDescriptorType;
    unsigned short bcdHID;
    unsigned char bCountryCode, bNumDescriptors, bReportType;
    unsigned short wReportLength;
};

struct __attribute__((packed)) SpeedDescriptors {
    struct usb_interface_descriptor intf;
    struct HidClassDescriptor hid;
    struct usb_endpoint_descriptor_no_audio in, out; /* usbhid wants an interrupt IN endpoint too */
};

static struct SpeedDescriptors Speed(unsigned char interval)
{
    struct SpeedDescriptors d = {
        .intf = {sizeof d.intf, USB_DT_INTERFACE, 0, 0, 2, USB_CLASS_HID, 0, 0, 0},
        .hid = {sizeof d.hid, 0x21, htole16(0x0111), 0, 1, 0x22, htole16(sizeof kReportDescriptor)},
        .in = {sizeof d.in, USB_DT_ENDPOINT, 1 | USB_DIR_IN, USB_ENDPOINT_XFER_INT, htole16(8), interval},
        .out = {sizeof d.out, USB_DT_ENDPOINT, 2 | USB_DIR_OUT, USB_ENDPOINT_XFER_INT, htole16(8), interval},
    };
    return d;
}

/* ep0: answers the host's request for the report descriptor, takes every
 * other request without data, until the function goes away. */
static void ServeEp0(int ep0)
{
    struct usb_functionfs_event events[4];
    for (;;) {
        ssize_t n = read(ep0, events, sizeof events);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        for (ssize_t i = 0; i < n / (ssize_t)sizeof events[0]; ++i) {
            if (events[i].type != FUNCTIONFS_SETUP)
                continue;
            const struct usb_ctrlrequest* r = &events[i].u.setup;
            if (r->bRequestType == (USB_DIR_IN | USB_RECIP_INTERFACE) && r->bRequest == USB_REQ_GET_DESCRIPTOR &&
                (le16toh(r->wValue) >> 8) == 0x22) {
                size_t length = le16toh(r->wLength) < sizeof kReportDescriptor ? le16toh(r->wLength)
                                                                                : sizeof kReportDescriptor;
                if (write(ep0, kReportDescriptor, length) < 0)
                    fprintf(stderr, "vmtool: report descriptor: %s\n", strerror(errno));
            } else if (r->bRequestType & USB_DIR_IN) {
                if (read(ep0, NULL, 0) < 0) { /* a read on an IN request stalls it */
                }
            } else if (write(ep0, NULL, 0) < 0 && read(ep0, NULL, 0) < 0) {
                /* the status stage of a request without data (SET_IDLE): taken */
            }
        }
    }
}

static int FfsHid(int argc, char** argv)
{
    const char* pace[2] = {NULL, NULL};
    if (argc >= 2 && strcmp(argv[0], "-p") == 0) {
        pace[0] = argv[0];
        pace[1] = argv[1];
        argc -= 2;
        argv += 2;
    }
    if (argc != 2)
        return 1;
    char path[256];
    snprintf(path, sizeof path, "%s/ep0", argv[0]);
    int ep0 = open(path, O_RDWR | O_CLOEXEC);
    if (ep0 < 0) {
        fprintf(stderr, "vmtool: %s: %s\n", path, strerror(errno));
        return 1;
    }
    struct __attribute__((packed)) {
        struct usb_functionfs_descs_head_v2 header;
        unsigned int fsCount, hsCount;
        struct SpeedDescriptors fs, hs;
    } descriptors = {
        .header = {htole32(FUNCTIONFS_DESCRIPTORS_MAGIC_V2), htole32(sizeof descriptors),
                   htole32(FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC)},
        .fsCount = htole32(4),
        .hsCount = htole32(4),
        .fs = Speed(1),  /* every frame: 1 ms */
        .hs = Speed(4),  /* every 2^(4-1) microframes: 1 ms */
    };
    struct usb_functionfs_strings_head strings = {htole32(FUNCTIONFS_STRINGS_MAGIC), htole32(sizeof strings), 0, 0};
    if (write(ep0, &descriptors, sizeof descriptors) != (ssize_t)sizeof descriptors ||
        write(ep0, &strings, sizeof strings) != (ssize_t)sizeof strings) {
        fprintf(stderr, "vmtool: descriptors: %s\n", strerror(errno));
        return 1;
    }
    pid_t server = fork();
    if (server == 0) {
        ServeEp0(ep0);
        _exit(0);
    }
    /* The reports arrive on the OUT endpoint's file, one transaction of eight
     * bytes per read; a read that is not made leaves the host waiting. A
     * timer breaks into a read now and then, so that a stop is seen. */
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnSignal;
    sigaction(SIGTERM, &sa, NULL);
    sigaction(SIGINT, &sa, NULL);
    struct sigaction tick;
    memset(&tick, 0, sizeof tick);
    tick.sa_handler = OnTick;
    sigaction(SIGALRM, &tick, NULL);
    struct itimerval every = {{0, 100000}, {0, 100000}};
    setitimer(ITIMER_REAL, &every, NULL);
    snprintf(path, sizeof path, "%s/ep2", argv[0]);
    int ep = -1;
    while (ep < 0 && !g_stop)
        ep = open(path, O_RDONLY | O_CLOEXEC);
    FILE* out = fopen(argv[1], "w");
    int rc = ep < 0 || out == NULL;
    double paceMs = pace[0] != NULL ? atof(pace[1]) / 1000.0 : 0;
    double next = 0;
    while (!g_stop && rc == 0) {
        unsigned char buf[8];
        ssize_t got = read(ep, buf, sizeof buf);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            break; /* unplugged */
        }
        RecordReport(out, buf, got, paceMs, &next);
    }
    if (out != NULL && fclose(out) != 0)
        rc = 1;
    if (ep >= 0)
        close(ep);
    close(ep0);
    kill(server, SIGTERM);
    waitpid(server, NULL, 0);
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
        if (strcmp(argv[1], "ffs-hid") == 0)
            return FfsHid(rest, args);
    }
    fputs("usage: vmtool wait-hidraw|bare|hidg|ffs-hid|time ...\n", stderr);
    return 1;
}
