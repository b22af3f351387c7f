/* Runs programs in turn, A B C A B C ..., and prints for each the minimum,
 * median and maximum wall time in milliseconds, one line per program in the
 * order given. Taking turns spreads the shared machine's noise over all of
 * them alike, where a block of runs each would not.
 *   alternate RUNS WARMUP PROGRAM...
 * Each program runs without arguments, in this environment, with standard
 * input and output on /dev/null. */
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>

extern char** environ;

static double now_ms(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static int cmp(const void* a, const void* b)
{
    double x = *(const double*)a, y = *(const double*)b;
    return x < y ? -1 : x > y;
}

static int null_in, null_out;

/* Wall time of one run; negative when it did not exit with 0. The child
 * only duplicates descriptors opened once here, so that the time is the
 * program's own and little of the runner's. */
static double run_once(const char* program)
{
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, null_in, 0);
    posix_spawn_file_actions_adddup2(&fa, null_out, 1);
    char* argv[] = {(char*)program, NULL};
    double start = now_ms();
    pid_t pid;
    int status = 0;
    int rc = posix_spawn(&pid, program, &fa, NULL, argv, environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return now_ms() - start;
}

int main(int argc, char** argv)
{
    if (argc < 4) {
        fprintf(stderr, "usage: alternate RUNS WARMUP PROGRAM...\n");
        return 2;
    }
    int runs = atoi(argv[1]), warmup = atoi(argv[2]), n = argc - 3;
    if (runs < 1 || warmup < 0)
        return 2;
    null_in = open("/dev/null", O_RDONLY | O_CLOEXEC);
    null_out = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null_in < 0 || null_out < 0)
        return 1;
    double* t = malloc(sizeof *t * (size_t)runs * (size_t)n);
    if (!t)
        return 1;
    for (int r = -warmup; r < runs; r++)
        for (int p = 0; p < n; p++) {
            double ms = run_once(argv[3 + p]);
            if (ms < 0) {
                fprintf(stderr, "alternate: %s failed\n", argv[3 + p]);
                return 1;
            }
            if (r >= 0)
                t[(size_t)p * (size_t)runs + (size_t)r] = ms;
        }
    for (int p = 0; p < n; p++) {
        double* s = t + (size_t)p * (size_t)runs;
        qsort(s, (size_t)runs, sizeof *s, cmp);
        printf("%.3f %.3f %.3f\n", s[0], runs % 2 ? s[runs / 2] : (s[runs / 2 - 1] + s[runs / 2]) / 2, s[runs - 1]);
    }
    free(t);
    return 0;
}
