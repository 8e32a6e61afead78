/* Runs a command and writes to RESULT its wall time in nanoseconds, its peak
   resident set in KiB and its exit status: "NS KIB STATUS".
   Used by scripts/bench-unpack.sh instead of sampling /proc: wait4() hands
   back the kernel's own high-water mark of the process (ru_maxrss, the figure
   /proc/PID/status shows as VmHWM while it runs), taken when it ends, so
   nothing is missed between samples and nothing slows the run down. `wine
   PROGRAM` execs its way into the program's own process, keeping the PID,
   and Wine starts the program's children with a double fork whose
   intermediate process only lives for the fork, so the figure is the
   launcher's own (a mark survives exec: the larger of the old and new ones).
   Usage: run-measured RESULT CMD [ARGS...] */
#define _GNU_SOURCE
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static long long NowNs(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000000000LL + now.tv_nsec;
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: run-measured RESULT CMD [ARGS...]\n");
    return 2;
  }
  long long start = NowNs();
  pid_t child = fork();
  if (child < 0) {
    perror("run-measured: fork");
    return 2;
  }
  if (child == 0) {
    execvp(argv[2], argv + 2);
    perror("run-measured: exec");
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  if (wait4(child, &status, 0, &usage) < 0) {
    perror("run-measured: wait4");
    return 2;
  }
  long long elapsed = NowNs() - start;
  int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  FILE* result = fopen(argv[1], "w");
  if (result == NULL) {
    perror("run-measured: result file");
    return 2;
  }
  fprintf(result, "%lld %ld %d\n", elapsed, usage.ru_maxrss, code);
  return fclose(result) == 0 ? 0 : 2;
}
