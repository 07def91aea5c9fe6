#include "tests/outside/driver.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "engine/engine.h"

extern char** environ;

int64_t nowMs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (int64_t)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

namespace {

void removeScratch() {
    std::error_code ignored;
    std::filesystem::remove_all(scratchFolder(), ignored);
}

int outputCount = 0;

} // namespace

const std::string& scratchFolder() {
    static std::string folder;
    if (folder.empty()) {
        char name[] = "/tmp/voidrunner-test-XXXXXX";
        if (mkdtemp(name)) {
            folder = name;
            chmod(name, 0755); // a test's unprivileged user must reach the programs copied here
            atexit(removeScratch);
        }
    }
    return folder;
}

void sleepMs(int32_t ms) {
    timespec pause{ms / 1000, (long)(ms % 1000) * 1000000};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

Child startProcess(const std::vector<std::string>& command,
                   const std::vector<std::string>& extraEnvironment) {
    Child child;
    const std::string stem = scratchFolder() + "/process-" + std::to_string(++outputCount);
    child.outPath = stem + ".out";
    child.errPath = stem + ".err";

    std::vector<std::string> environment;
    for (char** entry = environ; *entry; entry++) {
        environment.push_back(*entry);
    }
    std::vector<std::string> changes = {"XSCREENSAVER_WINDOW", "WAYLAND_SOCKET"};
    changes.insert(changes.end(), extraEnvironment.begin(), extraEnvironment.end());
    for (const std::string& change : changes) {
        const std::string name = change.substr(0, change.find('='));
        std::erase_if(environment, [&](const std::string& entry) {
            return entry.substr(0, entry.find('=')) == name;
        });
        if (change.size() > name.size()) {
            environment.push_back(change);
        }
    }
    std::vector<char*> argv, envp;
    for (const std::string& part : command) {
        argv.push_back(const_cast<char*>(part.c_str()));
    }
    argv.push_back(nullptr);
    for (const std::string& entry : environment) {
        envp.push_back(const_cast<char*>(entry.c_str()));
    }
    envp.push_back(nullptr);

    child.pid = fork();
    if (child.pid == 0) {
        const int out = open(child.outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(child.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0) {
            _exit(126);
        }
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    return child;
}

bool waitForEnd(Child& child, int32_t timeoutMs, int& status) {
    if (child.pid <= 0) {
        return false;
    }
    const int64_t deadline = nowMs() + timeoutMs;
    for (;;) {
        int raw = 0;
        const pid_t done = waitpid(child.pid, &raw, WNOHANG);
        if (done == child.pid) {
            child.pid = -1;
            status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            return true;
        }
        if (done < 0 || nowMs() >= deadline) {
            return false;
        }
        sleepMs(5);
    }
}

bool stillRunning(Child& child) {
    int status = 0;
    return child.pid > 0 && !waitForEnd(child, 0, status);
}

void stopProcess(Child& child) {
    if (child.pid > 0) {
        kill(child.pid, SIGKILL);
        waitpid(child.pid, nullptr, 0);
        child.pid = -1;
    }
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int runCommand(const std::string& command) {
    const int raw = system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

std::vector<uint32_t> backgroundOf(int32_t width, int32_t height) {
    std::vector<uint32_t> words((size_t)width * (size_t)height);
    fillBackground(words.data(), width, height);
    return words;
}

std::vector<uint32_t> renderedFrame(std::vector<std::string> arguments,
                                    const std::string& scratchFile) {
    arguments.insert(arguments.begin(), VOIDRUNNER_RENDER_PATH);
    arguments.insert(arguments.end(), {"--out", scratchFile});
    Child render = startProcess(arguments);
    int status = -1;
    if (!waitForEnd(render, 20000, status) || status != 0) {
        return {};
    }
    const std::string bytes = readText(scratchFile);
    std::vector<uint32_t> words(bytes.size() / 4);
    memcpy(words.data(), bytes.data(), words.size() * 4);
    return words;
}

Survey survey(const Frame& frame, const std::vector<uint32_t>& background) {
    Survey result;
    if (background.size() != frame.words.size()) {
        result.darker = (int64_t)frame.words.size();
        return result;
    }
    for (size_t i = 0; i < frame.words.size(); i++) {
        const uint32_t pixel = frame.words[i], base = background[i];
        if (pixel == base) {
            result.equal++;
        }
        int32_t most = -255;
        for (int shift = 0; shift < 24; shift += 8) {
            const int32_t gain = (int32_t)(pixel >> shift & 0xFF) - (int32_t)(base >> shift & 0xFF);
            if (gain < 0) {
                result.darker++;
                break;
            }
            most = gain > most ? gain : most;
        }
        if (most >= 96) {
            result.lit++;
        }
    }
    const size_t w = (size_t)frame.width, h = (size_t)frame.height;
    const size_t corners[4] = {0, w - 1, (h - 1) * w, h * w - 1};
    for (int i = 0; i < 4; i++) {
        result.cornerEqual[i] = frame.words[corners[i]] == background[corners[i]];
    }
    return result;
}

bool looksLikeFlight(const Survey& survey, const Frame& frame) {
    const int64_t pixels = (int64_t)frame.words.size();
    return pixels > 0 && survey.darker == 0 && survey.equal * 10 >= pixels * 6 && survey.lit >= 20;
}
