/* Runs two commands in turn (A B A B ...) and prints, for each run, its wall
 * time from just before the fork to the reaping, its user and system time
 * and its peak memory, as the kernel accounts them for that child alone.
 *
 *   pairs RUNS -- COMMAND_A [ARG...] -- COMMAND_B [ARG...]
 *
 * One uncounted run of each comes first. Output lines: "A|B WALL USER SYS KIB
 * STATUS", seconds with microseconds. The commands' own output goes to
 * /dev/null. */
#define _GNU_SOURCE
#include <fcntl.h>
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

static double Seconds(struct timeval t)
{
    return (double)t.tv_sec + (double)t.tv_usec / 1e6;
}

static void RunOnce(char **argv, const char *name, int print)
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
    int status = 0;
    struct rusage usage;
    if (wait4(pid, &status, 0, &usage) < 0) {
        perror("wait4");
        exit(1);
    }
    const double wall = Now() - start;
    if (print)
        printf("%s %.6f %.6f %.6f %ld %d\n", name, wall, Seconds(usage.ru_utime), Seconds(usage.ru_stime),
               usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    fflush(stdout);
}

int main(int argc, char **argv)
{
    if (argc < 4 || strcmp(argv[2], "--") != 0) {
        fprintf(stderr, "usage: pairs RUNS -- COMMAND_A [ARG...] -- COMMAND_B [ARG...]\n");
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
        fprintf(stderr, "pairs: no second command\n");
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
