/* Times a program's cold start to the first paint of its window: from just
 * before the fork until the program writes one byte on the pipe named to it
 * in TOLVANEX_FIRST_PAINT_FD (ui/qt/FirstPaintReport.h: after its first
 * top-level window has painted itself and handed the pixels to the display).
 * Also the processor time it has had by then, all threads, which other jobs
 * on the machine blur less than the clock. Then
 * the program is ended and its peak memory read.
 *
 *   paint_watch RUNS -- PROGRAM_A [ARG...] -- PROGRAM_B [ARG...]
 *
 * Runs A and B in turn after one uncounted run of each. Output lines:
 * "A|B SECONDS KIB CPU_SECONDS". */
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

static double Now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

/* The processor time of `pid` so far, all its threads, ended ones too. */
static double CpuTime(pid_t pid)
{
    clockid_t clock;
    struct timespec t;
    if (clock_getcpuclockid(pid, &clock) != 0 || clock_gettime(clock, &t) != 0)
        return -1;
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static void RunOnce(char **argv, const char *name, int print)
{
    int pipefd[2];
    if (pipe2(pipefd, O_CLOEXEC) != 0) {
        perror("pipe2");
        exit(1);
    }
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
        const int fd = dup(pipefd[1]); /* without O_CLOEXEC */
        char value[16];
        snprintf(value, sizeof value, "%d", fd);
        setenv("TOLVANEX_FIRST_PAINT_FD", value, 1);
        execvp(argv[0], argv);
        _exit(127);
    }
    close(pipefd[1]);
    /* A byte, or end of file when the program ends without painting. */
    struct pollfd p = {pipefd[0], POLLIN, 0};
    char byte;
    double painted = -1, cpu = -1;
    if (poll(&p, 1, 60000) == 1 && read(pipefd[0], &byte, 1) == 1) {
        painted = Now();
        cpu = CpuTime(pid);
    }
    close(pipefd[0]);
    kill(pid, SIGTERM);
    int status = 0;
    struct rusage usage;
    wait4(pid, &status, 0, &usage);
    if (painted < 0) {
        fprintf(stderr, "paint_watch: %s painted no window\n", argv[0]);
        exit(1);
    }
    if (print)
        printf("%s %.6f %ld %.6f\n", name, painted - start, usage.ru_maxrss, cpu);
    fflush(stdout);
}

int main(int argc, char **argv)
{
    if (argc < 4 || strcmp(argv[2], "--") != 0) {
        fprintf(stderr, "usage: paint_watch RUNS -- PROGRAM_A [ARG...] -- PROGRAM_B [ARG...]\n");
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
        fprintf(stderr, "paint_watch: no second program\n");
        return 2;
    }
    RunOnce(a, "A", 0);
    RunOnce(b, "B", 0);
    for (int i = 0; i < runs; ++i) {
        RunOnce(a, "A", 1);
        RunOnce(b, "B", 1);
    }
    return 0;
}
