// voidrunner3d-wayland from outside, on Debian's sway running headless: each output's pixels
// against voidrunner-render's frame, input from a virtual pointer and wtype, outputs that
// change, instances beside each other; and on Weston, which has no layer-shell. sway refuses
// root: as root, it and its clients run as nobody.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <list>

#include "tests/outside/driver.h"

namespace {

struct Place {
    const char* name;
    int32_t x, y, width, height;
};

const std::vector<Place> oneOutput = {{"HEADLESS-1", 0, 0, 320, 200}};
// The second left of and lower than the first.
const std::vector<Place> twoOutputs = {{"HEADLESS-1", 160, 0, 320, 200},
                                       {"HEADLESS-2", 0, 60, 160, 120}};

// A copy of a program where the unprivileged user can run it.
std::string reachable(const char* path) {
    const std::string copy =
        scratchFolder() + "/" + std::filesystem::path(path).filename().string();
    std::filesystem::copy_file(path, copy, std::filesystem::copy_options::skip_existing);
    return copy;
}

// The field the places span: their bounding box.
Place fieldOf(const std::vector<Place>& places) {
    int32_t left = INT32_MAX, top = INT32_MAX, right = 0, bottom = 0;
    for (const Place& p : places) {
        left = std::min(left, p.x), top = std::min(top, p.y);
        right = std::max(right, p.x + p.width), bottom = std::max(bottom, p.y + p.height);
    }
    return Place{"field", left, top, right - left, bottom - top};
}

// The place's part of a field's words.
std::vector<uint32_t> partOf(const std::vector<uint32_t>& words, const Place& field,
                             const Place& place) {
    std::vector<uint32_t> part;
    for (int32_t y = 0; y < place.height; y++) {
        const uint32_t* row =
            words.data() + (size_t)(place.y - field.y + y) * field.width + place.x - field.x;
        part.insert(part.end(), row, row + place.width);
    }
    return part;
}

// A frame of the flight over that background: nothing darker, most pixels equal.
bool overBackground(const Frame& shown, const std::vector<uint32_t>& background) {
    const Survey looks = survey(shown, background);
    return looks.darker == 0 && looks.equal * 10 >= (int64_t)shown.words.size() * 6;
}

bool waitForText(const std::string& path, const std::string& text, int32_t timeoutMs) {
    for (int64_t deadline = nowMs() + timeoutMs; nowMs() < deadline; sleepMs(20)) {
        if (readText(path).find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

int endWithSignal(Child& child) {
    kill(child.pid, SIGTERM);
    int status = -1;
    return waitForEnd(child, 5000, status) ? status : -1;
}

class Sway : public ::testing::Test {
  protected:
    std::string runtime;
    std::vector<std::string> environment;
    std::list<Child> children; // sway first, stopped last

    void TearDown() override {
        for (auto child = children.rbegin(); child != children.rend(); child++) {
            stopProcess(*child);
        }
        std::filesystem::remove_all(runtime);
    }

    // Every command runs as the user sway runs as, in sway's environment.
    Child& start(std::vector<std::string> command, std::vector<std::string> extra = {}) {
        if (getuid() == 0) {
            command.insert(command.begin(), {"/usr/bin/setpriv", "--reuid=nobody",
                                             "--regid=nogroup", "--clear-groups"});
        }
        extra.insert(extra.begin(), environment.begin(), environment.end());
        children.push_back(startProcess(command, extra));
        return children.back();
    }

    int run(const std::vector<std::string>& command) {
        int status = -1;
        return waitForEnd(start(command), 10000, status) ? status : -1;
    }

    // A connection to sway made here and handed to a client in WAYLAND_SOCKET, as a lock
    // screen's nested compositor hands one; the fd is the caller's to close once it started.
    std::string handOver(int& fd) {
        fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{AF_UNIX, {}};
        snprintf(address.sun_path, sizeof address.sun_path, "%s/wayland-1", runtime.c_str());
        EXPECT_EQ(connect(fd, (sockaddr*)&address, sizeof address), 0);
        return "WAYLAND_SOCKET=" + std::to_string(fd);
    }

    Child& startClient(std::vector<std::string> arguments, std::vector<std::string> extra = {}) {
        arguments.insert(arguments.begin(), reachable(VOIDRUNNER_WAYLAND_PATH));
        return start(arguments, extra);
    }

    // Steps of the test pointer, or a key.
    void input(std::vector<std::string> steps) {
        if (steps == std::vector<std::string>{"key"}) {
            ASSERT_EQ(run({"/usr/bin/wtype", "-s", "500", "-k", "space"}), 0);
            return;
        }
        steps.insert(steps.begin(),
                     {reachable(VOIDRUNNER_POINTER_PATH), "wait", "300", "move", "4", "4"});
        steps.insert(steps.end(), {"wait", "300"});
        ASSERT_EQ(run(steps), 0);
    }

    Frame capture(const Place& place) {
        const std::string file = runtime + "/" + place.name + ".ppm";
        Frame frame;
        const std::string bytes =
            run({"/usr/bin/grim", "-t", "ppm", "-o", place.name, file}) == 0 ? readText(file) : "";
        int32_t header = 0;
        if (sscanf(bytes.c_str(), "P6 %d %d 255%n", &frame.width, &frame.height, &header) == 2 &&
            bytes.size() == (size_t)header + 1 + (size_t)frame.width * frame.height * 3) {
            for (size_t i = header + 1; i < bytes.size(); i += 3) {
                frame.words.push_back((uint8_t)bytes[i] << 16 | (uint8_t)bytes[i + 1] << 8 |
                                      (uint8_t)bytes[i + 2]);
            }
        }
        return frame;
    }

    // Waits until the output, the field's only one, shows a frame of the flight.
    bool flies(const Place& place) {
        const std::vector<uint32_t> background = backgroundOf(place.width, place.height);
        for (int64_t deadline = nowMs() + 10000; nowMs() < deadline; sleepMs(50)) {
            if (overBackground(capture(place), background)) {
                return true;
            }
        }
        return false;
    }

    // sway with one headless output for each place, laid out as the places say; up once every
    // output has its size. No border: a window fills its output, as a layer surface does.
    void startSway(const std::vector<Place>& places) {
        char folder[] = "/tmp/voidrunner-wayland-XXXXXX";
        ASSERT_TRUE(mkdtemp(folder));
        runtime = folder;
        ASSERT_TRUE(getuid() != 0 || chown(folder, 65534, 65534) == 0);
        FILE* config = fopen((runtime + "/config").c_str(), "w");
        fputs("xwayland disable\ndefault_border none\n", config);
        for (const Place& p : places) {
            fprintf(config, "output %s mode %dx%d pos %d %d\n", p.name, p.width, p.height, p.x,
                    p.y);
        }
        fclose(config);
        // The first display name libwayland hands out in an empty folder.
        environment = {"XDG_RUNTIME_DIR=" + runtime, "HOME=" + runtime, "WAYLAND_DISPLAY=wayland-1",
                       "SWAYSOCK=" + runtime + "/ipc", "DISPLAY"};
        start({"/usr/bin/sway", "-c", runtime + "/config"},
              {"WAYLAND_DISPLAY", "WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1",
               "WLR_RENDERER=pixman", "WLR_HEADLESS_OUTPUTS=" + std::to_string(places.size())});
        for (int64_t deadline = nowMs() + 10000; nowMs() < deadline; sleepMs(50)) {
            size_t ready = 0;
            while (ready < places.size() && capture(places[ready]).width == places[ready].width) {
                ready++;
            }
            if (ready == places.size()) {
                return;
            }
        }
        FAIL() << "sway did not come up: " << readText(children.front().errPath);
    }
};

struct FlightCase {
    const char* name;
    const std::vector<Place>* places;
    std::vector<std::string> kind; // the layer, or a window
    int32_t frames; // on the fixed clock: 48 is the first past the click rule's 0.8 s
    // The pointer's steps during the flight and after its last frame; "key" a key pressed,
    // "held" a key held from before the start and released while it flies.
    std::vector<std::string> during, after;
    bool ends;         // by what came after
    int32_t speed;     // as --report gives it at the end
    bool handedSocket; // connected through WAYLAND_SOCKET alone
};

void PrintTo(const FlightCase& c, std::ostream* out) {
    *out << c.name;
}

// clang-format off
const FlightCase flightCases[] = {
    {"OneOutput", &oneOutput, {"--layer", "overlay", "--speed", "70"}, 30, {}, {}, false, 70, false},
    {"TwoOutputs", &twoOutputs, {"--speed", "100"}, 45, {}, {}, false, 100, false},
    {"Background", &twoOutputs, {"--layer", "background"}, 20, {}, {}, false, 28, false},
    {"PointerAfterLastFrame", &twoOutputs, {}, 30, {}, {"move", "50", "30", "move", "-20", "15"}, false, 28, false},
    {"HandedSocket", &oneOutput, {}, 20, {}, {}, false, 28, true},
    {"Window", &oneOutput, {"--window"}, 30, {}, {"move", "50", "30"}, false, 28, false},
    {"Steered", &oneOutput, {}, 120, {"move", "60", "-40", "move", "60", "-40"}, {}, false, 28, false},
    {"WheelAwayFromUser", &oneOutput, {}, 10, {}, {"wheel", "-2"}, false, 38, false},
    {"WheelTowardUser", &oneOutput, {}, 10, {}, {"wheel", "3"}, false, 13, false},
    {"ClickBeforeItsTime", &oneOutput, {}, 10, {}, {"click"}, false, 28, false},
    {"ClickAfterItsTime", &oneOutput, {}, 60, {}, {"click"}, true, 28, false},
    {"Key", &oneOutput, {}, 10, {}, {"key"}, true, 28, false},
    {"BackgroundTakesNoInput", &oneOutput, {"--layer", "background"}, 60, {}, {"click", "wheel", "-2"}, false, 28, false},
    {"WindowWheel", &oneOutput, {"--window"}, 10, {}, {"wheel", "-1"}, false, 33, false},
    {"WindowClickBeforeItsTime", &oneOutput, {"--window"}, 10, {}, {"click"}, false, 28, false},
    {"WindowClickAfterItsTime", &oneOutput, {"--window"}, 60, {}, {"click"}, true, 28, false},
    {"WindowKey", &oneOutput, {"--window"}, 10, {}, {"key"}, true, 28, false},
    {"HeldKeyReleased", &oneOutput, {}, 10, {"held"}, {"key"}, true, 28, false},
};
// clang-format on

class Flights : public Sway, public ::testing::WithParamInterface<FlightCase> {};

// Once frame N is on every output, each shows its part of the renderer's frame N for the
// field, the bounding box of the outputs, unless steered; input after it changes the speed or
// ends the run as in the other front ends.
TEST_P(Flights, FrameNAndInputAsTheOtherFrontEnds) {
    const FlightCase& c = GetParam();
    startSway(*c.places);
    const Place field = fieldOf(*c.places);
    std::vector<std::string> arguments = {"--fixed-clock", "--frames", std::to_string(c.frames),
                                          "--report"};
    arguments.insert(arguments.end(), c.kind.begin(), c.kind.end());
    int handed = -1;
    std::vector<std::string> extra;
    if (c.handedSocket) {
        extra = {handOver(handed), "WAYLAND_DISPLAY"};
    }
    const bool held = c.during == std::vector<std::string>{"held"};
    Child* key = held ? &start({"/usr/bin/wtype", "-P", "a", "-s", "1500", "-p", "a"}) : nullptr;
    sleepMs(held ? 300 : 0);
    Child& client = startClient(arguments, extra);
    close(handed);
    if (!c.during.empty() && !held) {
        ASSERT_TRUE(flies(c.places->front()));
        input(c.during);
    }
    ASSERT_TRUE(waitForText(client.outPath,
                            "frame " + std::to_string(c.frames) + " on every output\n", 20000));
    int status = -1;
    if (key) {
        ASSERT_TRUE(waitForEnd(*key, 5000, status));
        EXPECT_FALSE(waitForEnd(client, 500, status));
    }
    if (!c.after.empty()) {
        input(c.after);
    }
    ASSERT_EQ(waitForEnd(client, c.ends ? 5000 : 500, status), c.ends);
    if (!c.ends) {
        const auto speed = std::find(c.kind.begin(), c.kind.end(), "--speed");
        const std::vector<uint32_t> frame = renderedFrame(
            {"--size", std::to_string(field.width) + "x" + std::to_string(field.height), "--frames",
             std::to_string(c.frames), "--speed", speed == c.kind.end() ? "28" : speed[1]},
            scratchFolder() + "/" + c.name + ".raw");
        ASSERT_EQ(frame.size(), (size_t)field.width * field.height);
        const std::vector<uint32_t> background = backgroundOf(field.width, field.height);
        for (const Place& p : *c.places) {
            const Frame shown = capture(p);
            EXPECT_EQ(shown.words == partOf(frame, field, p), c.during.empty()) << p.name;
            EXPECT_TRUE(overBackground(shown, partOf(background, field, p))) << p.name;
        }
        status = endWithSignal(client);
    }
    EXPECT_EQ(status, 0);
    EXPECT_NE(readText(client.outPath).find(", speed " + std::to_string(c.speed) + ","),
              std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Wayland, Flights, ::testing::ValuesIn(flightCases),
                         [](const ::testing::TestParamInfo<FlightCase>& info) {
                             return std::string(info.param.name);
                         });

// An opaque overlay hides the background from frame callbacks: beneath it, a background
// instance shows its first frame and takes no step after it. A second overlay ends at once,
// unless handed its connection; README's pkill line for idle daemons ends the saver started as
// a bare "voidrunner3d-wayland" and leaves the wallpaper, which takes no input.
TEST_F(Sway, HiddenWallpaperRestsAndOneSaverFlies) {
    startSway(oneOutput);
    const std::string program = reachable(VOIDRUNNER_WAYLAND_PATH);
    Child& saver = start({"/bin/bash", "-c", "exec -a voidrunner3d-wayland \"$0\"", program});
    ASSERT_TRUE(flies(oneOutput[0]));
    Child& wallpaper =
        startClient({"--layer", "background", "--fixed-clock", "--frames", "30", "--report"},
                    {"WAYLAND_DEBUG=1"});
    int status = -1, handed = -1;
    EXPECT_TRUE(waitForEnd(startClient({}), 3000, status) && status == 0);
    Child& handedSaver = startClient({}, {handOver(handed)});
    close(handed);
    EXPECT_FALSE(waitForText(wallpaper.outPath, "on every output", 1500));
    EXPECT_TRUE(stillRunning(handedSaver));
    const std::string exchange = readText(wallpaper.errPath);
    EXPECT_NE(exchange.find(".set_input_region("), std::string::npos);
    EXPECT_EQ(exchange.find(".attach("), exchange.rfind(".attach(")) << "more than one frame";
    stopProcess(handedSaver);
    // Only among this test's children: a user's own saver, or another test run's, stays.
    EXPECT_EQ(
        run({"/usr/bin/pkill", "-P", std::to_string(getpid()), "-xf", "voidrunner3d-wayland"}), 0);
    EXPECT_TRUE(waitForEnd(saver, 5000, status) && status == 0);
    EXPECT_TRUE(waitForText(wallpaper.outPath, "frame 30 on every output\n", 5000));
    EXPECT_TRUE(stillRunning(wallpaper));
}

// Live: after each change every output shows the new field's background at its place, with
// stars added, and the flight goes on; the compositor going away ends it with one line, 1.
TEST_F(Sway, FollowsOutputsThatChange) {
    startSway(twoOutputs);
    Child& client = startClient({});
    // Each command and the place of the output it changes or adds, as it is afterwards.
    const std::pair<const char*, Place> changes[] = {
        {"output HEADLESS-1 mode 400x240", {"HEADLESS-1", 160, 0, 400, 240}},
        {"output HEADLESS-2 pos 0 100", {"HEADLESS-2", 0, 100, 160, 120}},
        {"create_output; output HEADLESS-3 mode 200x100 pos 560 20",
         {"HEADLESS-3", 560, 20, 200, 100}},
    };
    std::vector<Place> places = twoOutputs;
    for (size_t stage = 0; stage <= 3; stage++) {
        if (stage > 0) {
            const auto& [command, place] = changes[stage - 1];
            ASSERT_EQ(run({"/usr/bin/swaymsg", "--", command}), 0) << command;
            places.resize(std::max(places.size(), stage));
            places[place.name[9] - '1'] = place;
        }
        const Place field = fieldOf(places);
        const std::vector<uint32_t> background = backgroundOf(field.width, field.height);
        for (const Place& p : places) {
            bool shows = false;
            for (int64_t deadline = nowMs() + 5000; !shows && nowMs() < deadline; sleepMs(50)) {
                shows = overBackground(capture(p), partOf(background, field, p));
            }
            EXPECT_TRUE(shows) << "stage " << stage << ": " << p.name;
        }
        EXPECT_TRUE(stillRunning(client));
    }
    kill(children.front().pid, SIGKILL); // on SIGTERM sway may first close every surface
    int status = -1;
    EXPECT_TRUE(waitForEnd(client, 5000, status) && status == 1);
    const std::string message = readText(client.errPath);
    EXPECT_EQ(message.rfind("voidrunner3d-wayland: lost the connection", 0), 0u) << message;
    EXPECT_EQ(message.find('\n'), message.size() - 1) << message;
}

// No display to connect to: one line naming what was tried, status 1, nothing from libwayland.
TEST(NoCompositor, SaysWhatItTried) {
    Child client = startProcess({VOIDRUNNER_WAYLAND_PATH},
                                {"XDG_RUNTIME_DIR=/tmp", "WAYLAND_DISPLAY=nothing-here"});
    int status = -1;
    EXPECT_TRUE(waitForEnd(client, 5000, status) && status == 1);
    EXPECT_EQ(readText(client.errPath),
              "voidrunner3d-wayland: cannot connect to Wayland display \"nothing-here\" in /tmp\n");
}

// Weston offers no layer-shell: the client chooses a full-screen window by itself, says so
// once, and fills the output, as its side of the protocol exchange shows.
TEST(Weston, FallsBackToAFullScreenWindow) {
    char folder[] = "/tmp/voidrunner-weston-XXXXXX";
    ASSERT_TRUE(mkdtemp(folder));
    const std::vector<std::string> environment = {std::string("XDG_RUNTIME_DIR=") + folder,
                                                  "WAYLAND_DISPLAY=weston", "DISPLAY",
                                                  "WAYLAND_DEBUG=1"};
    Child weston = startProcess({"/usr/bin/weston", "--backend=headless-backend.so", "--use-pixman",
                                 "--socket=weston", "--width=640", "--height=400"},
                                environment);
    for (int64_t deadline = nowMs() + 10000;
         access((std::string(folder) + "/weston").c_str(), F_OK);) {
        ASSERT_LT(nowMs(), deadline) << readText(weston.errPath);
        sleepMs(50);
    }
    Child client =
        startProcess({VOIDRUNNER_WAYLAND_PATH, "--frames", "3", "--report"}, environment);
    EXPECT_TRUE(waitForText(client.outPath, "frame 3 on every output\n", 20000));
    EXPECT_EQ(endWithSignal(client), 0);
    const std::string exchange = readText(client.errPath);
    EXPECT_NE(exchange.find(".set_fullscreen(nil)"), std::string::npos);
    EXPECT_NE(exchange.find(".configure(640, 400,"), std::string::npos);
    EXPECT_NE(exchange.find(", 640, 400, 2560, 1)"), std::string::npos); // XRGB8888 buffers
    const std::string said = "voidrunner3d-wayland: the compositor offers no layer-shell: flying "
                             "in a full-screen window\n";
    EXPECT_EQ(exchange.find(said), exchange.rfind("voidrunner3d-wayland: ")) << exchange;
    stopProcess(weston);
    std::filesystem::remove_all(folder);
}

} // namespace
