#include "platform/loop.h"

#include <errno.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

volatile sig_atomic_t endSignal = 0;

namespace {

int wakePipe[2] = {-1, -1};

void onEndSignal(int) {
    const int saved = errno;
    endSignal = 1;
    if (wakePipe[1] >= 0) {
        const char byte = 0;
        ssize_t ignored = write(wakePipe[1], &byte, 1);
        (void)ignored;
    }
    errno = saved;
}

} // namespace

bool catchEndSignals() {
    if (wakePipe[0] < 0 && pipe2(wakePipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        return false;
    }
    struct sigaction action {};
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    return sigaction(SIGTERM, &action, nullptr) == 0 && sigaction(SIGINT, &action, nullptr) == 0;
}

int endSignalFd() {
    return wakePipe[0];
}

void drainEndSignals() {
    char drained[16];
    while (read(wakePipe[0], drained, sizeof drained) > 0) {
    }
}

int64_t monotonicNs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (int64_t)now.tv_sec * 1000000000 + now.tv_nsec;
}

int64_t nextDue(int64_t due, int64_t now) {
    due += framePeriodNs;
    return due <= now ? now + framePeriodNs : due;
}

int32_t msUntil(int64_t due, int64_t now) {
    return due <= now ? 0 : (int32_t)((due - now + 999999) / 1000000);
}
