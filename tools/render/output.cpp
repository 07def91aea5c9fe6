#include "tools/render/output.h"

#include <errno.h>
#include <signal.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tools/png/png.h"

namespace {

// At most the final image and one sequence frame are in flight at a time.
const int32_t slotCount = 2;
const size_t slotLength = 4096;
char temporaries[slotCount][slotLength];
volatile sig_atomic_t slotUsed[slotCount];

void removeTemporaries(int signalNumber) {
    for (int32_t i = 0; i < slotCount; i++) {
        if (slotUsed[i]) {
            unlink(temporaries[i]);
        }
    }
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

int32_t claimSlot(const std::string& path) {
    for (int32_t i = 0; i < slotCount; i++) {
        if (!slotUsed[i] && path.size() < slotLength) {
            memcpy(temporaries[i], path.c_str(), path.size() + 1);
            slotUsed[i] = 1;
            return i;
        }
    }
    return -1;
}

void releaseSlot(int32_t& slot) {
    if (slot >= 0) {
        slotUsed[slot] = 0;
        slot = -1;
    }
}

std::string cannotWrite(const std::string& path, int error) {
    return "cannot write " + path + " (" + strerror(error) + ")";
}

} // namespace

void removeTemporariesOnSignal() {
    struct sigaction action {};
    action.sa_handler = removeTemporaries;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signalNumber, &action, nullptr);
    }
}

bool openOutput(const std::string& path, OutputFile& output, std::string& problem) {
    output = OutputFile{};
    output.path = path;
    struct stat status;
    if (stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        problem = "cannot write " + path + " (it is a folder)";
        return false;
    }
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    output.tempPath = (slash == std::string::npos ? "" : folder) + "." + name + ".XXXXXX";
    // Interrupts must not see a temporary that is not yet in its slot.
    sigset_t blocked, previous;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGHUP);
    sigprocmask(SIG_BLOCK, &blocked, &previous);
    const int fd = mkstemp(output.tempPath.data());
    const int error = errno;
    if (fd >= 0) {
        output.temporaryExists = true;
        output.slot = claimSlot(output.tempPath);
    }
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    if (fd < 0) {
        problem = cannotWrite(path, error);
        return false;
    }
    // mkstemp makes the file private; give it the permissions a plain create would.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    output.file = fdopen(fd, "wb");
    if (!output.file) {
        problem = cannotWrite(path, errno);
        close(fd);
        abandonOutput(output);
        return false;
    }
    return true;
}

bool finishOutput(OutputFile& output, ImageFormat format, const uint32_t* pixels, int32_t width,
                  int32_t height, std::string& problem) {
    bool written;
    errno = 0;
    if (format == PngImage) {
        char reason[160];
        written =
            writePng(output.file, pixels, width, height, PngEngineWords, -1, reason, sizeof reason);
        if (!written) {
            problem = errno ? cannotWrite(output.path, errno)
                            : "cannot write " + output.path + " (" + reason + ")";
        }
    } else {
        const size_t bytes = (size_t)width * (size_t)height * 4u;
        written = fwrite(pixels, 1, bytes, output.file) == bytes;
        if (!written) {
            problem = cannotWrite(output.path, errno);
        }
    }
    if (written && fflush(output.file) != 0) {
        written = false;
        problem = cannotWrite(output.path, errno);
    }
    const int closed = fclose(output.file);
    output.file = nullptr;
    if (written && closed != 0) {
        written = false;
        problem = cannotWrite(output.path, errno);
    }
    if (written && rename(output.tempPath.c_str(), output.path.c_str()) != 0) {
        written = false;
        problem = cannotWrite(output.path, errno);
    }
    if (!written) {
        abandonOutput(output);
        return false;
    }
    output.temporaryExists = false;
    releaseSlot(output.slot);
    return true;
}

void abandonOutput(OutputFile& output) {
    if (output.file) {
        fclose(output.file);
        output.file = nullptr;
    }
    if (output.temporaryExists) {
        unlink(output.tempPath.c_str());
        output.temporaryExists = false;
    }
    releaseSlot(output.slot);
}

bool writeImageFile(const std::string& path, ImageFormat format, const uint32_t* pixels,
                    int32_t width, int32_t height, std::string& problem) {
    OutputFile output;
    return openOutput(path, output, problem) &&
           finishOutput(output, format, pixels, width, height, problem);
}

bool prepareFolder(const std::string& dir, bool& created, std::string& problem) {
    created = false;
    struct stat status;
    if (stat(dir.c_str(), &status) == 0) {
        if (!S_ISDIR(status.st_mode)) {
            problem = dir + " is not a folder (a folder, made if need be)";
            return false;
        }
        return true;
    }
    if (mkdir(dir.c_str(), 0777) != 0) {
        problem = "cannot make folder " + dir + " (" + strerror(errno) + ")";
        return false;
    }
    created = true;
    return true;
}
