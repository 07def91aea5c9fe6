// voidrunner3d under Debian's XScreenSaver daemon, on a private Xvfb: a settings file that names
// only this hack, activation from xscreensaver-command, stars on the screen, and the hack's end
// on deactivation.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <dirent.h>
#include <errno.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/x11/driver.h"

namespace {

namespace fs = std::filesystem;

// The processes running the program at path: the daemon starts it, so it is no child of ours.
std::vector<pid_t> processesOf(const std::string& path) {
    std::vector<pid_t> found;
    DIR* proc = opendir("/proc");
    if (!proc) {
        return found;
    }
    while (const dirent* entry = readdir(proc)) {
        const pid_t pid = (pid_t)atoi(entry->d_name);
        if (pid <= 0) {
            continue;
        }
        std::error_code error;
        const fs::path exe =
            fs::read_symlink("/proc/" + std::string(entry->d_name) + "/exe", error);
        if (!error && exe == path) {
            found.push_back(pid);
        }
    }
    closedir(proc);
    return found;
}

bool gone(pid_t pid) {
    // A zombie is as good as gone: the daemon reaps it in its own time.
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    return text.empty() ||
           (close != std::string::npos && text.size() > close + 2 && text[close + 2] == 'Z');
}

class Daemon : public ::testing::Test {
  protected:
    VirtualDisplay server;
    Child daemon;
    std::string home;
    std::vector<std::string> environment;

    void TearDown() override {
        // Only the daemon started here, by its process id; it ends its helpers and the hack.
        if (daemon.pid > 0) {
            kill(daemon.pid, SIGTERM);
            int status = 0;
            if (!waitForEnd(daemon, 5000, status)) {
                stopProcess(daemon);
            }
        }
        stopVirtualDisplay(server);
    }

    // Runs xscreensaver-command with one request; true when it says it did it.
    bool command(const std::string& request) {
        Child client = startProcess({"/usr/bin/xscreensaver-command", request}, environment);
        int status = -1;
        return waitForEnd(client, 10000, status) && status == 0;
    }
};

TEST_F(Daemon, ActivateRunsTheHackAndDeactivateEndsIt) {
    ASSERT_EQ(access("/usr/bin/xscreensaver", X_OK), 0) << "xscreensaver is not installed";
    ASSERT_TRUE(startVirtualDisplay(server, 640, 400));

    // The daemon refuses to run hacks as root, so there it runs as nobody, with a home of its
    // own holding the settings and a copy of the hack that nobody may run.
    home = scratchFolder() + "/home";
    ASSERT_TRUE(fs::create_directory(home));
    chmod(home.c_str(), 0755);
    const std::string hack = home + "/voidrunner3d";
    fs::copy_file(hackPath, hack);
    chmod(hack.c_str(), 0755);
    {
        std::ofstream settings(home + "/.xscreensaver");
        settings << "mode:\t\tone\n"
                    "selected:\t0\n"
                    "timeout:\t0:30:00\n"
                    "cycle:\t\t0:30:00\n"
                    "lock:\t\tFalse\n"
                    "fade:\t\tFalse\n"
                    "unfade:\t\tFalse\n"
                    "splash:\t\tFalse\n"
                    "dpmsEnabled:\tFalse\n"
                    "grabDesktopImages:\tFalse\n"
                    "programs:\t\"Voidrunner 3D\" "
                 << hack << " -root \\n\n";
    }
    chmod((home + "/.xscreensaver").c_str(), 0644);
    environment = {"DISPLAY=" + server.name, "HOME=" + home};

    std::vector<std::string> start = {"/usr/bin/xscreensaver", "-no-splash", "-verbose"};
    if (geteuid() == 0) {
        start.insert(start.begin(),
                     {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    }
    daemon = startProcess(start, environment);
    ASSERT_GT(daemon.pid, 0);
    bool ready = false;
    for (int tries = 0; tries < 100 && !ready; tries++) {
        ready = command("-version");
        if (!ready) {
            sleepMs(100);
        }
    }
    ASSERT_TRUE(ready) << readText(daemon.errPath);

    ASSERT_TRUE(command("-activate"));
    std::vector<pid_t> running;
    for (int tries = 0; tries < 200 && running.empty(); tries++) {
        sleepMs(50);
        running = processesOf(hack);
    }
    ASSERT_EQ(running.size(), 1u) << readText(daemon.errPath);

    // The daemon's window covers the screen; the hack flies in it.
    Survey seen;
    EXPECT_TRUE(
        waitForFlight(server.display, DefaultRootWindow(server.display), 640, 400, 10000, seen))
        << "equal " << seen.equal << ", darker " << seen.darker << ", lit " << seen.lit;

    ASSERT_TRUE(command("-deactivate"));
    bool ended = false;
    for (int tries = 0; tries < 200 && !ended; tries++) {
        sleepMs(25);
        ended = gone(running[0]);
    }
    EXPECT_TRUE(ended) << "the hack still runs after -deactivate";
    sleepMs(200);
    const std::string log = readText(daemon.errPath);
    EXPECT_EQ(log.find("voidrunner3d) exited abnormally"), std::string::npos) << log;
    EXPECT_EQ(log.find("voidrunner3d) crashed"), std::string::npos) << log;
}

} // namespace
