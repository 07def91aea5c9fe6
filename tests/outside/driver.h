// Driving a front end from outside, whatever shows it (an X server, a Wayland compositor):
// processes with their output in files, a scratch folder, and pictures held against the
// engine's background.
#pragma once

#include <stdint.h>
#include <sys/types.h>

#include <string>
#include <vector>

// A folder of this test process's own under /tmp, removed at exit; others may read it, so that
// a test's unprivileged user reaches the copies of programs put there.
const std::string& scratchFolder();

struct Child {
    pid_t pid = -1;
    std::string outPath; // its standard output and error, as files
    std::string errPath;
};

// Starts command[0] with the rest as arguments. The environment is this process's, without
// the variables that hand a program its host's window or connection (XSCREENSAVER_WINDOW,
// WAYLAND_SOCKET), changed by each entry of extraEnvironment in turn: "NAME=value" sets NAME,
// a bare "NAME" removes it.
Child startProcess(const std::vector<std::string>& command,
                   const std::vector<std::string>& extraEnvironment = {});

// Waits up to timeoutMs for the child to end; its exit code, or 128 + the signal that ended
// it, goes to status. False on timeout.
bool waitForEnd(Child& child, int32_t timeoutMs, int& status);

bool stillRunning(Child& child);

// Kills a child that still runs (SIGKILL) and reaps it; safe on one that has ended.
void stopProcess(Child& child);

std::string readText(const std::string& path);

// Runs a shell command (xdotool and the like) and returns its exit code.
int runCommand(const std::string& command);

// A picture as the server holds it: words red << 16 | green << 8 | blue, rows top-down.
struct Frame {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> words;
};

// The engine's background for a size, as the screen's words.
std::vector<uint32_t> backgroundOf(int32_t width, int32_t height);

// voidrunner-render's frame for these arguments (without --out), as the screen's words, its
// raw output read at scratchFile; empty if it failed.
std::vector<uint32_t> renderedFrame(std::vector<std::string> arguments,
                                    const std::string& scratchFile);

// How a picture compares with the background of its size. Light is only ever added, so a
// frame of the flight has no pixel darker than the background in any channel, most pixels
// equal to their background word, and the bright cores of stars.
struct Survey {
    int64_t equal = 0;
    int64_t darker = 0;
    int64_t lit = 0;          // some channel at least 96 above the background
    bool cornerEqual[4] = {}; // top left, top right, bottom left, bottom right
};
Survey survey(const Frame& frame, const std::vector<uint32_t>& background);
bool looksLikeFlight(const Survey& survey, const Frame& frame);

void sleepMs(int32_t ms);

int64_t nowMs();
