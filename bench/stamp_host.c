/* A stand-in host application for timing the road to it: its first action
 * reads CLOCK_MONOTONIC and writes it, as nanoseconds, to the FIFO named by
 * RARURU_BENCH_STAMP. */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

int main(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const char *path = getenv("RARURU_BENCH_STAMP");
    if (!path)
        return 1;
    const int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return 1;
    char line[32];
    const int n
        = snprintf(line, sizeof line, "%lld\n", (long long)now.tv_sec * 1000000000LL + now.tv_nsec);
    const int ok = write(fd, line, (size_t)n) == n;
    close(fd);
    return ok ? 0 : 1;
}
