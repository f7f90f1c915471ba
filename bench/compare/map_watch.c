/* Times a program's cold start to its first window: from just before the
 * fork until the X server reports that a top-level window was mapped. The
 * report is the MapNotify event on the root window (SubstructureNotifyMask),
 * so nothing polls. Then the program is ended and its peak memory read.
 *
 *   map_watch RUNS -- PROGRAM_A [ARG...] -- PROGRAM_B [ARG...]
 *
 * Runs A and B in turn after one uncounted run of each, on $DISPLAY. Output
 * lines: "A|B SECONDS KIB". */
#define _GNU_SOURCE
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>

static double Now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

/* Waits for a MapNotify of a window that is not override-redirect (menus and
 * tooltips are); returns the time it came, or a negative value after 60 s. */
static double WaitForMap(xcb_connection_t *c)
{
    const double deadline = Now() + 60;
    for (;;) {
        xcb_generic_event_t *e;
        while ((e = xcb_poll_for_event(c)) != NULL) {
            const int type = e->response_type & 0x7F;
            const int mapped = type == XCB_MAP_NOTIFY && !((xcb_map_notify_event_t *)e)->override_redirect;
            free(e);
            if (mapped)
                return Now();
        }
        if (xcb_connection_has_error(c))
            return -1;
        const double left = deadline - Now();
        if (left <= 0)
            return -1;
        struct pollfd p = {xcb_get_file_descriptor(c), POLLIN, 0};
        poll(&p, 1, (int)(left * 1000) + 1);
    }
}

static void RunOnce(xcb_connection_t *c, char **argv, const char *name, int print)
{
    const double start = Now();
    const pid_t pid = fork();
    if (pid < 0) {
        perror("fork");
        exit(1);
    }
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        execvp(argv[0], argv);
        _exit(127);
    }
    const double mapped = WaitForMap(c);
    kill(pid, SIGTERM);
    int status = 0;
    struct rusage usage;
    wait4(pid, &status, 0, &usage);
    if (mapped < 0) {
        fprintf(stderr, "map_watch: %s mapped no window\n", argv[0]);
        exit(1);
    }
    if (print)
        printf("%s %.6f %ld\n", name, mapped - start, usage.ru_maxrss);
    fflush(stdout);
}

int main(int argc, char **argv)
{
    if (argc < 4 || strcmp(argv[2], "--") != 0) {
        fprintf(stderr, "usage: map_watch RUNS -- PROGRAM_A [ARG...] -- PROGRAM_B [ARG...]\n");
        return 2;
    }
    const int runs = atoi(argv[1]);
    char **a = argv + 3;
    char **b = NULL;
    for (int i = 3; i < argc; ++i) {
        if (strcmp(argv[i], "--") == 0) {
            argv[i] = NULL;
            b = argv + i + 1;
            break;
        }
    }
    if (b == NULL || b[0] == NULL) {
        fprintf(stderr, "map_watch: no second program\n");
        return 2;
    }
    xcb_connection_t *c = xcb_connect(NULL, NULL);
    if (xcb_connection_has_error(c)) {
        fprintf(stderr, "map_watch: cannot reach the X server\n");
        return 1;
    }
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_generic_error_t *error =
        xcb_request_check(c, xcb_change_window_attributes_checked(c, screen->root, XCB_CW_EVENT_MASK, &mask));
    if (error != NULL) {
        fprintf(stderr, "map_watch: cannot watch the root window\n");
        return 1;
    }
    RunOnce(c, a, "A", 0);
    RunOnce(c, b, "B", 0);
    for (int i = 0; i < runs; ++i) {
        RunOnce(c, a, "A", 1);
        RunOnce(c, b, "B", 1);
    }
    xcb_disconnect(c);
    return 0;
}
