/* A stand-in for the controller: a HID device 0E8F:310D made through
 * /dev/uhid that records every output report it receives, one line of
 * lowercase hex per report, in the order the kernel hands them over. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <linux/uhid.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#define VC_VENDOR 0x0E8Fu
#define VC_PRODUCT 0x310Du

/* One 8-byte output report on a vendor page, no report IDs: the kernel
 * and the updater see an output report length of 9. */
static const unsigned char kDescriptor[] = {
    0x06, 0x00, 0xFF, /* Usage Page (vendor 0xFF00) */
    0x09, 0x01,       /* Usage (1) */
    0xA1, 0x01,       /* Collection (Application) */
    0x09, 0x02,       /*   Usage (2) */
    0x15, 0x00,       /*   Logical Minimum (0) */
    0x26, 0xFF, 0x00, /*   Logical Maximum (255) */
    0x75, 0x08,       /*   Report Size (8) */
    0x95, 0x08,       /*   Report Count (8) */
    0x91, 0x02,       /*   Output (Data, Variable, Absolute) */
    0xC0,             /* End Collection */
};

static volatile sig_atomic_t g_stop;

static void OnSignal(int sig)
{
    (void)sig;
    g_stop = 1;
}

static void Usage(FILE* out)
{
    fputs("uso: virtual-controller [-o ARCHIVO] [--vanish-after K] [--delay-us N] [--uhid RUTA] [-q]\n"
          "  Crea un mando virtual 0E8F:310D por /dev/uhid (hace falta root) y\n"
          "  escribe cada informe de salida recibido como una línea hexadecimal.\n"
          "  -o ARCHIVO         escribe los informes en ARCHIVO (por defecto, stdout)\n"
          "  --vanish-after K   desaparece (UHID_DESTROY) tras K informes\n"
          "  --delay-us N       tarda N microsegundos en cada informe (un mando lento)\n"
          "  --uhid RUTA        dispositivo uhid (por defecto /dev/uhid)\n"
          "  -q                 sin mensajes en stderr\n"
          "  Termina con SIGINT o SIGTERM tras guardar lo recibido.\n",
          out);
}

static int WriteEvent(int fd, const struct uhid_event* ev)
{
    ssize_t n = write(fd, ev, sizeof *ev);
    if (n == (ssize_t)sizeof *ev)
        return 0;
    if (n >= 0)
        errno = EIO;
    return -1;
}

static int Create(int fd)
{
    struct uhid_event ev;
    memset(&ev, 0, sizeof ev);
    ev.type = UHID_CREATE2;
    snprintf((char*)ev.u.create2.name, sizeof ev.u.create2.name, "Tolvanex virtual controller");
    snprintf((char*)ev.u.create2.phys, sizeof ev.u.create2.phys, "virtual-controller");
    ev.u.create2.rd_size = (__u16)sizeof kDescriptor;
    ev.u.create2.bus = 0x03; /* BUS_USB, as the real controller */
    ev.u.create2.vendor = VC_VENDOR;
    ev.u.create2.product = VC_PRODUCT;
    ev.u.create2.version = 0x0100;
    memcpy(ev.u.create2.rd_data, kDescriptor, sizeof kDescriptor);
    return WriteEvent(fd, &ev);
}

static void Destroy(int fd)
{
    struct uhid_event ev;
    memset(&ev, 0, sizeof ev);
    ev.type = UHID_DESTROY;
    (void)WriteEvent(fd, &ev);
}

/* The kernel waits for these answers; a quick refusal keeps it from
 * stalling on a request nobody here serves. */
static void Refuse(int fd, const struct uhid_event* req)
{
    struct uhid_event ev;
    memset(&ev, 0, sizeof ev);
    if (req->type == UHID_GET_REPORT) {
        ev.type = UHID_GET_REPORT_REPLY;
        ev.u.get_report_reply.id = req->u.get_report.id;
        ev.u.get_report_reply.err = EIO;
    } else {
        ev.type = UHID_SET_REPORT_REPLY;
        ev.u.set_report_reply.id = req->u.set_report.id;
        ev.u.set_report_reply.err = EIO;
    }
    (void)WriteEvent(fd, &ev);
}

/* Busy for `us` microseconds. A sleep would let the writer run on and
 * overflow the kernel's 32-event queue; spinning at SCHED_FIFO on one CPU
 * holds the writer back instead, as a slow device would. */
static void Spin(long us)
{
    struct timespec start, now;
    clock_gettime(CLOCK_MONOTONIC, &start);
    do {
        clock_gettime(CLOCK_MONOTONIC, &now);
    } while ((now.tv_sec - start.tv_sec) * 1000000L + (now.tv_nsec - start.tv_nsec) / 1000L < us);
}

static void Record(FILE* out, const unsigned char* data, unsigned size)
{
    static const char kHex[] = "0123456789abcdef";
    char line[2 * UHID_DATA_MAX + 2];
    unsigned n = 0;
    if (size > UHID_DATA_MAX)
        size = UHID_DATA_MAX;
    for (unsigned i = 0; i < size; ++i) {
        line[n++] = kHex[data[i] >> 4];
        line[n++] = kHex[data[i] & 0x0F];
    }
    line[n++] = '\n';
    fwrite(line, 1, n, out);
}

int main(int argc, char** argv)
{
    const char* outPath = NULL;
    const char* uhidPath = "/dev/uhid";
    long vanishAfter = -1;
    long delayUs = 0;
    int quiet = 0;

    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
            outPath = argv[++i];
        } else if (strcmp(argv[i], "--vanish-after") == 0 && i + 1 < argc) {
            char* end = NULL;
            vanishAfter = strtol(argv[++i], &end, 10);
            if (*end != '\0' || vanishAfter < 0) {
                Usage(stderr);
                return 1;
            }
        } else if (strcmp(argv[i], "--delay-us") == 0 && i + 1 < argc) {
            char* end = NULL;
            delayUs = strtol(argv[++i], &end, 10);
            if (*end != '\0' || delayUs < 0) {
                Usage(stderr);
                return 1;
            }
        } else if (strcmp(argv[i], "--uhid") == 0 && i + 1 < argc) {
            uhidPath = argv[++i];
        } else if (strcmp(argv[i], "-q") == 0) {
            quiet = 1;
        } else if (strcmp(argv[i], "-h") == 0 || strcmp(argv[i], "--help") == 0) {
            Usage(stdout);
            return 0;
        } else {
            Usage(stderr);
            return 1;
        }
    }

    FILE* out = stdout;
    if (outPath != NULL) {
        out = fopen(outPath, "w");
        if (out == NULL) {
            fprintf(stderr, "virtual-controller: %s: %s\n", outPath, strerror(errno));
            return 2;
        }
    }

    /* uhid keeps only 32 pending events and drops the rest without a word:
     * being scheduled before the writer keeps the queue short. */
    struct sched_param sp;
    memset(&sp, 0, sizeof sp);
    sp.sched_priority = 10;
    int realtime = sched_setscheduler(0, SCHED_FIFO, &sp) == 0;

    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, NULL);
    sigaction(SIGTERM, &sa, NULL);
    signal(SIGPIPE, SIG_IGN);
    /* Stop signals get through only inside ppoll, so none is missed
     * between the flag check and the wait. */
    sigset_t stopSignals;
    sigset_t waitMask;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);

    int fd = open(uhidPath, O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        fprintf(stderr, "virtual-controller: %s: %s (¿root? ¿modprobe uhid?)\n", uhidPath,
                strerror(errno));
        return 2;
    }
    if (Create(fd) != 0) {
        fprintf(stderr, "virtual-controller: UHID_CREATE2: %s\n", strerror(errno));
        close(fd);
        return 2;
    }
    if (!quiet)
        fprintf(stderr, "virtual-controller: mando 0E8F:310D creado%s\n",
                realtime ? "" : " (sin SCHED_FIFO: pueden perderse informes)");

    long count = 0;
    int vanished = vanishAfter == 0;
    int failed = 0;
    /* After a stop signal, whatever the kernel already queued is still read. */
    int draining = 0;
    while (!vanished) {
        if (g_stop && !draining)
            draining = 1;
        if (!draining) {
            struct pollfd pfd = {fd, POLLIN, 0};
            int r = ppoll(&pfd, 1, NULL, &waitMask);
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                failed = 1;
                break;
            }
        }
        struct uhid_event ev;
        ssize_t n = read(fd, &ev, sizeof ev);
        if (n < 0) {
            if (errno == EINTR || (errno == EAGAIN && !draining))
                continue;
            if (errno == EAGAIN)
                break;
            fprintf(stderr, "virtual-controller: read: %s\n", strerror(errno));
            failed = 1;
            break;
        }
        if (n == 0)
            break;
        switch (ev.type) {
        case UHID_START:
            if (!quiet)
                fprintf(stderr, "virtual-controller: listo\n");
            break;
        case UHID_OUTPUT:
            Record(out, ev.u.output.data, ev.u.output.size);
            ++count;
            if (delayUs > 0) {
                fflush(out); /* a slow controller's progress can be watched */
                Spin(delayUs);
            }
            if (vanishAfter >= 0 && count >= vanishAfter)
                vanished = 1;
            break;
        case UHID_GET_REPORT:
        case UHID_SET_REPORT:
            Refuse(fd, &ev);
            break;
        default:
            break;
        }
    }

    if (fflush(out) != 0)
        failed = 1;
    Destroy(fd);
    close(fd);
    if (out != stdout && fclose(out) != 0)
        failed = 1;
    if (!quiet)
        fprintf(stderr, "virtual-controller: %ld informes de salida recibidos%s\n", count,
                vanished ? "; desconectado" : "");
    return failed ? 2 : 0;
}
