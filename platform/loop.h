// What the Linux front ends' event loops share (the XScreenSaver hack and the Wayland client):
// SIGTERM and SIGINT as a flag and a byte on a pipe that wakes poll, the monotonic clock, and
// the frame timer's due time.
#pragma once

#include <signal.h>
#include <stdint.h>

// The Windows saver's frame timer.
const int64_t framePeriodNs = 16000000;

extern volatile sig_atomic_t endSignal;

// Called once at start-up by each front end: SIGTERM (how a daemon ends a program) and SIGINT
// set endSignal and make endSignalFd readable. False when they cannot be caught.
bool catchEndSignals();

// The pipe's reading end, for poll; drainEndSignals empties it.
int endSignalFd();
void drainEndSignals();

int64_t monotonicNs();

// Called by the front ends after a frame at now (ns): the next frame's due time. A late or
// stopped process does not catch up in a burst, as a timer would not.
int64_t nextDue(int64_t due, int64_t now);

// Called by the front ends before poll: milliseconds until due, rounded up, at least 0.
int32_t msUntil(int64_t due, int64_t now);
