// voidrunner3d-wayland from outside, on Debian's sway running headless: each output's pixels
// against voidrunner-render's frame, input from a virtual pointer and wtype, outputs that
// change, and instances beside each other. sway refuses root: as root, it and its clients run
// as nobody.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
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

// A copy of a program where the unprivileged user can run it.
std::string reachable(const char* path) {
    const std::string copy =
        scratchFolder() + "/" + std::filesystem::path(path).filename().string();
    std::filesystem::copy_file(path, copy, std::filesystem::copy_options::skip_existing);
    return copy;
}

Frame readPpm(const std::string& bytes) {
    Frame frame;
    int32_t most = 0, header = 0;
    if (sscanf(bytes.c_str(), "P6 %d %d %d%n", &frame.width, &frame.height, &most, &header) == 3) {
        const uint8_t* rgb = (const uint8_t*)bytes.data() + header + 1;
        frame.words.resize((size_t)frame.width * (size_t)frame.height);
        for (size_t i = 0; i < frame.words.size() && header + 1 + i * 3 + 2 < bytes.size(); i++) {
            frame.words[i] =
                (uint32_t)rgb[i * 3] << 16 | (uint32_t)rgb[i * 3 + 1] << 8 | rgb[i * 3 + 2];
        }
    }
    return frame;
}

// The place's part of a field of words fieldWidth wide whose corner is at (left, top).
Frame partOf(const std::vector<uint32_t>& field, int32_t fieldWidth, int32_t left, int32_t top,
             const Place& place) {
    Frame part{place.width, place.height, {}};
    for (int32_t y = 0; y < place.height; y++) {
        const uint32_t* row = field.data() + (size_t)(place.y - top + y) * fieldWidth;
        part.words.insert(part.words.end(), row + place.x - left,
                          row + place.x - left + place.width);
    }
    return part;
}

class Sway : public ::testing::Test {
  protected:
    std::string runtime;
    std::vector<std::string> environment;
    std::list<Child> children; // sway first, stopped last
    Child* sway = nullptr;

    void TearDown() override {
        for (auto child = children.rbegin(); child != children.rend(); child++) {
            stopProcess(*child);
        }
        std::error_code ignored;
        std::filesystem::remove_all(runtime, ignored);
    }

    // Every command runs as the user sway runs as.
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
        Child& child = start(command);
        int status = -1;
        return waitForEnd(child, 10000, status) ? status : -1;
    }

    Child& startClient(std::vector<std::string> arguments, std::vector<std::string> extra = {}) {
        arguments.insert(arguments.begin(), reachable(VOIDRUNNER_WAYLAND_PATH));
        return start(arguments, extra);
    }

    void pointer(std::vector<std::string> steps) {
        steps.insert(steps.begin(),
                     {reachable(VOIDRUNNER_POINTER_PATH), "wait", "300", "move", "4", "4"});
        steps.insert(steps.end(), {"wait", "300"});
        ASSERT_EQ(run(steps), 0);
    }

    Frame capture(const Place& place) {
        const std::string file = runtime + "/" + place.name + ".ppm";
        return run({"/usr/bin/grim", "-t", "ppm", "-o", place.name, file}) == 0
                   ? readPpm(readText(file))
                   : Frame{};
    }

    // sway with one headless output for each place, laid out as the places say.
    void startSway(const std::vector<Place>& places) {
        char folder[] = "/tmp/voidrunner-wayland-XXXXXX";
        ASSERT_TRUE(mkdtemp(folder));
        runtime = folder;
        ASSERT_EQ(getuid() != 0 || chown(folder, 65534, 65534) == 0, true);
        // No border: a window fills its output, as a layer surface does.
        std::string config = "xwayland disable\ndefault_border none\n";
        for (const Place& p : places) {
            config += std::string("output ") + p.name + " mode " + std::to_string(p.width) + "x" +
                      std::to_string(p.height) + " pos " + std::to_string(p.x) + " " +
                      std::to_string(p.y) + "\n";
        }
        FILE* file = fopen((runtime + "/config").c_str(), "w");
        fputs(config.c_str(), file);
        fclose(file);
        environment = {"XDG_RUNTIME_DIR=" + runtime, "HOME=" + runtime, "WAYLAND_DISPLAY",
                       "DISPLAY"};
        sway = &start({"/usr/bin/sway", "-c", runtime + "/config"},
                      {"WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman",
                       "WLR_HEADLESS_OUTPUTS=" + std::to_string(places.size())});
        // Up once every output is at its size.
        for (int64_t deadline = nowMs() + 10000; nowMs() < deadline; sleepMs(50)) {
            std::vector<std::string> found = {"XDG_RUNTIME_DIR=" + runtime, "HOME=" + runtime};
            DIR* listing = opendir(runtime.c_str());
            for (dirent* entry; listing && (entry = readdir(listing));) {
                const std::string name = entry->d_name;
                if (name.rfind("wayland-", 0) == 0 && name.find('.') == std::string::npos) {
                    found.push_back("WAYLAND_DISPLAY=" + name);
                } else if (name.rfind("sway-ipc.", 0) == 0) {
                    found.push_back("SWAYSOCK=" + runtime + "/" + name);
                }
            }
            closedir(listing);
            environment = found;
            bool ready = found.size() == 4;
            for (size_t i = 0; ready && i < places.size(); i++) {
                const Frame shown = capture(places[i]);
                ready = shown.width == places[i].width && shown.height == places[i].height;
            }
            if (ready) {
                return;
            }
        }
        FAIL() << "sway did not come up: " << readText(sway->errPath);
    }
};

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

const std::vector<Place> oneOutput = {{"HEADLESS-1", 0, 0, 320, 200}};
// The second left of and lower than the first.
const std::vector<Place> twoOutputs = {{"HEADLESS-1", 160, 0, 320, 200},
                                       {"HEADLESS-2", 0, 60, 160, 120}};

} // namespace

namespace {

struct BitCase {
    const char* name;
    const std::vector<Place>* places;
    std::vector<std::string> kind; // the layer, or a window
    int32_t frames, speed;
    bool handedSocket; // connected through WAYLAND_SOCKET alone
    bool pointerMoved; // over the surfaces once the last frame is on them
};

void PrintTo(const BitCase& c, std::ostream* out) {
    *out << c.name;
}

const BitCase bitCases[] = {
    {"OneOutput", &oneOutput, {"--layer", "overlay"}, 30, 28, false, false},
    {"TwoOutputs", &twoOutputs, {}, 45, 100, false, false},
    {"Background", &twoOutputs, {"--layer", "background"}, 20, 60, false, false},
    {"PointerAfterLastFrame", &twoOutputs, {}, 30, 28, false, true},
    {"HandedSocket", &oneOutput, {}, 20, 28, true, false},
    {"Window", &oneOutput, {"--window"}, 30, 28, false, true},
};

class Bits : public Sway, public ::testing::WithParamInterface<BitCase> {};

TEST_P(Bits, EachOutputShowsItsPartOfTheRenderersFrame) {
    const BitCase& c = GetParam();
    startSway(*c.places);
    int32_t left = INT32_MAX, top = INT32_MAX, right = 0, bottom = 0;
    for (const Place& p : *c.places) {
        left = std::min(left, p.x), top = std::min(top, p.y);
        right = std::max(right, p.x + p.width), bottom = std::max(bottom, p.y + p.height);
    }
    std::vector<std::string> extra;
    int handed = -1;
    if (c.handedSocket) {
        handed = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{AF_UNIX, {}};
        std::string path;
        for (const std::string& entry : environment) {
            path =
                entry.rfind("WAYLAND_DISPLAY=", 0) == 0 ? runtime + "/" + entry.substr(16) : path;
        }
        strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(connect(handed, (sockaddr*)&address, sizeof address), 0);
        extra = {"WAYLAND_SOCKET=" + std::to_string(handed), "WAYLAND_DISPLAY"};
    }
    const std::string frames = std::to_string(c.frames), speed = std::to_string(c.speed);
    std::vector<std::string> arguments = {"--fixed-clock", "--frames", frames,
                                          "--speed",       speed,      "--report"};
    arguments.insert(arguments.end(), c.kind.begin(), c.kind.end());
    Child& client = startClient(arguments, extra);
    if (handed >= 0) {
        close(handed);
    }
    ASSERT_TRUE(waitForText(client.outPath, "frame " + frames + " on every output\n", 20000))
        << readText(client.errPath);
    if (c.pointerMoved) {
        pointer({"move", "50", "30", "move", "-20", "15"});
    }
    const std::string raw = scratchFolder() + "/" + c.name + ".raw";
    const std::string size = std::to_string(right - left) + "x" + std::to_string(bottom - top);
    Child render = startProcess({VOIDRUNNER_RENDER_PATH, "--size", size, "--frames", frames,
                                 "--speed", speed, "--out", raw});
    int status = -1;
    ASSERT_TRUE(waitForEnd(render, 20000, status) && status == 0) << readText(render.errPath);
    const std::string bytes = readText(raw);
    std::vector<uint32_t> field(bytes.size() / 4);
    memcpy(field.data(), bytes.data(), field.size() * 4);
    const std::vector<uint32_t> background = backgroundOf(right - left, bottom - top);
    for (const Place& p : *c.places) {
        const Frame shown = capture(p), expected = partOf(field, right - left, left, top, p);
        EXPECT_EQ(shown.words, expected.words) << p.name;
        const Survey looks = survey(shown, partOf(background, right - left, left, top, p).words);
        EXPECT_TRUE(looks.darker == 0 && looks.equal * 10 >= (int64_t)shown.words.size() * 6)
            << p.name;
    }
    EXPECT_EQ(endWithSignal(client), 0);
    EXPECT_EQ(readText(client.outPath).find("frames " + frames + ", speed " + speed + ","),
              readText(client.outPath).find('\n') + 1);
}

INSTANTIATE_TEST_SUITE_P(Wayland, Bits, ::testing::ValuesIn(bitCases),
                         [](const ::testing::TestParamInfo<BitCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace

namespace {

struct InputCase {
    const char* name;
    std::vector<std::string> kind;
    int32_t frames; // on the fixed clock: 48 is the first frame past the click rule's 0.8 s
    std::vector<std::string> steps;
    bool ends;
    int32_t speed; // as --report gives it at the end
};

void PrintTo(const InputCase& c, std::ostream* out) {
    *out << c.name;
}

const InputCase inputCases[] = {
    {"WheelAwayFromUser", {}, 10, {"wheel", "-2"}, false, 38},
    {"WheelTowardUser", {}, 10, {"wheel", "3"}, false, 13},
    {"ClickBeforeItsTime", {}, 10, {"click"}, false, 28},
    {"ClickAfterItsTime", {}, 60, {"click"}, true, 28},
    {"BackgroundTakesNoInput", {"--layer", "background"}, 60, {"click", "wheel", "-2"}, false, 28},
    {"WindowWheel", {"--window"}, 10, {"wheel", "-1"}, false, 33},
    {"WindowClickBeforeItsTime", {"--window"}, 10, {"click"}, false, 28},
    {"WindowClickAfterItsTime", {"--window"}, 60, {"click"}, true, 28},
    {"WindowKey", {"--window"}, 10, {}, true, 28}, // no steps: a key
};

class Input : public Sway, public ::testing::WithParamInterface<InputCase> {};

TEST_P(Input, PointerAsInTheOtherFrontEnds) {
    const InputCase& c = GetParam();
    startSway(oneOutput);
    const std::string frames = std::to_string(c.frames);
    std::vector<std::string> arguments = {"--fixed-clock", "--frames", frames, "--report"};
    arguments.insert(arguments.end(), c.kind.begin(), c.kind.end());
    Child& client = startClient(arguments);
    ASSERT_TRUE(waitForText(client.outPath, "frame " + frames + " on every output\n", 20000));
    if (c.steps.empty()) {
        EXPECT_EQ(run({"/usr/bin/wtype", "-s", "500", "-k", "space"}), 0);
    } else {
        pointer(c.steps);
    }
    int status = -1;
    EXPECT_EQ(waitForEnd(client, c.ends ? 5000 : 500, status), c.ends);
    if (!c.ends) {
        status = endWithSignal(client);
    }
    EXPECT_EQ(status, 0);
    EXPECT_NE(readText(client.outPath).find("speed " + std::to_string(c.speed) + ","),
              std::string::npos)
        << readText(client.outPath);
}

INSTANTIATE_TEST_SUITE_P(Wayland, Input, ::testing::ValuesIn(inputCases),
                         [](const ::testing::TestParamInfo<InputCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(Sway, SteeringTurnsTheField) {
    startSway(oneOutput);
    Child& client = startClient({"--fixed-clock", "--frames", "120", "--report"});
    pointer({"move", "60", "-40", "move", "60", "-40"});
    ASSERT_TRUE(waitForText(client.outPath, "frame 120 on every output\n", 20000));
    const std::string raw = scratchFolder() + "/unsteered.raw";
    int status = -1;
    Child render = startProcess(
        {VOIDRUNNER_RENDER_PATH, "--size", "320x200", "--frames", "120", "--out", raw});
    ASSERT_TRUE(waitForEnd(render, 20000, status) && status == 0);
    const std::string bytes = readText(raw);
    std::vector<uint32_t> unsteered(bytes.size() / 4);
    memcpy(unsteered.data(), bytes.data(), unsteered.size() * 4);
    EXPECT_NE(capture(oneOutput[0]).words, unsteered);
    EXPECT_EQ(endWithSignal(client), 0);
    EXPECT_EQ(readText(client.outPath).find("steered yaw 0.000000"), std::string::npos);
}

// A key held since before the start ends nothing when it is released; a key pressed ends it.
TEST_F(Sway, KeyPressEndsItAndAnEarlierKeysReleaseDoesNot) {
    startSway(oneOutput);
    Child& held = start({"/usr/bin/wtype", "-P", "a", "-s", "1500", "-p", "a"});
    sleepMs(300);
    Child& client = startClient({"--frames", "5", "--report"});
    ASSERT_TRUE(waitForText(client.outPath, "frame 5 on every output\n", 20000));
    int status = -1;
    ASSERT_TRUE(waitForEnd(held, 5000, status));
    EXPECT_FALSE(waitForEnd(client, 500, status));
    EXPECT_EQ(run({"/usr/bin/wtype", "-s", "500", "-k", "space"}), 0);
    EXPECT_TRUE(waitForEnd(client, 5000, status));
    EXPECT_EQ(status, 0);
}

// An opaque overlay hides the background from frame callbacks: beneath it, the background
// instance takes no step. A second overlay ends at once.
TEST_F(Sway, HiddenBackgroundRestsAndOneSaverFlies) {
    startSway(oneOutput);
    Child& saver = startClient({"--frames", "3", "--report"});
    ASSERT_TRUE(waitForText(saver.outPath, "frame 3 on every output\n", 20000));
    Child& wallpaper =
        startClient({"--layer", "background", "--fixed-clock", "--frames", "30", "--report"});
    Child& second = startClient({});
    int status = -1;
    EXPECT_TRUE(waitForEnd(second, 3000, status));
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(waitForText(wallpaper.outPath, "on every output", 1500));
    EXPECT_EQ(run({"/usr/bin/wtype", "-s", "500", "-k", "space"}), 0);
    EXPECT_TRUE(waitForEnd(saver, 5000, status));
    EXPECT_TRUE(waitForText(wallpaper.outPath, "frame 30 on every output\n", 5000));
}

// Live: after each change every output shows the new field's background at its place, with
// stars added, and the flight goes on.
TEST_F(Sway, FollowsOutputsThatChange) {
    startSway(twoOutputs);
    Child& client = startClient({});
    struct Stage {
        std::vector<std::string> commands;
        std::vector<Place> places;
    };
    const Stage stages[] = {
        {{}, twoOutputs},
        {{"output HEADLESS-1 mode 400x240"},
         {{"HEADLESS-1", 160, 0, 400, 240}, {"HEADLESS-2", 0, 60, 160, 120}}},
        {{"output HEADLESS-2 pos 0 100"},
         {{"HEADLESS-1", 160, 0, 400, 240}, {"HEADLESS-2", 0, 100, 160, 120}}},
        {{"create_output", "output HEADLESS-3 mode 200x100 pos 560 20"},
         {{"HEADLESS-1", 160, 0, 400, 240},
          {"HEADLESS-2", 0, 100, 160, 120},
          {"HEADLESS-3", 560, 20, 200, 100}}},
    };
    for (const Stage& stage : stages) {
        for (const std::string& command : stage.commands) {
            ASSERT_EQ(run({"/usr/bin/swaymsg", "--", command}), 0) << command;
        }
        int32_t right = 0, bottom = 0;
        for (const Place& p : stage.places) {
            right = std::max(right, p.x + p.width), bottom = std::max(bottom, p.y + p.height);
        }
        const std::vector<uint32_t> background = backgroundOf(right, bottom);
        for (const Place& p : stage.places) {
            Survey looks;
            Frame shown;
            for (int64_t deadline = nowMs() + 5000; nowMs() < deadline; sleepMs(50)) {
                shown = capture(p);
                looks = survey(shown, partOf(background, right, 0, 0, p).words);
                if (looks.darker == 0 && looks.equal * 10 >= (int64_t)shown.words.size() * 6) {
                    break;
                }
            }
            EXPECT_TRUE(looks.darker == 0 && looks.equal * 10 >= (int64_t)shown.words.size() * 6)
                << stage.commands.size() << " commands: " << p.name << " equal " << looks.equal
                << ", darker " << looks.darker;
        }
        EXPECT_TRUE(stillRunning(client)) << readText(client.errPath);
    }
    // The compositor going away ends it with one line and status 1.
    kill(sway->pid, SIGTERM);
    int status = -1;
    EXPECT_TRUE(waitForEnd(client, 5000, status));
    EXPECT_EQ(status, 1);
    const std::string message = readText(client.errPath);
    EXPECT_EQ(message.rfind("voidrunner3d-wayland: lost the connection", 0), 0u) << message;
    EXPECT_EQ(message.find('\n'), message.size() - 1) << message;
}

// No display to connect to: one line naming what was tried, status 1, and nothing from
// libwayland beside it.
TEST(NoCompositor, SaysWhatItTried) {
    const std::string tried[][2] = {
        {"WAYLAND_DISPLAY=nothing-here",
         "cannot connect to Wayland display \"nothing-here\" in /tmp\n"},
        {"WAYLAND_SOCKET=99", "cannot connect through WAYLAND_SOCKET (99)\n"},
    };
    for (const auto& c : tried) {
        Child client = startProcess({VOIDRUNNER_WAYLAND_PATH}, {"XDG_RUNTIME_DIR=/tmp", c[0]});
        int status = -1;
        EXPECT_TRUE(waitForEnd(client, 5000, status));
        EXPECT_EQ(status, 1);
        EXPECT_EQ(readText(client.errPath), "voidrunner3d-wayland: " + c[1]);
    }
}

} // namespace

namespace {

// The line README gives idle daemons: pkill -xf ends the saver started as a bare
// "voidrunner3d-wayland" and leaves a wallpaper alone.
TEST_F(Sway, PkillEndsTheSaverAndLeavesTheWallpaper) {
    startSway(oneOutput);
    const std::string program = reachable(VOIDRUNNER_WAYLAND_PATH);
    Child& wallpaper = start(
        {"/bin/bash", "-c",
         "exec -a voidrunner3d-wayland \"$0\" --layer background --frames 3 --report", program});
    ASSERT_TRUE(waitForText(wallpaper.outPath, "frame 3 on every output\n", 20000));
    Child& saver = start({"/bin/bash", "-c", "exec -a voidrunner3d-wayland \"$0\"", program});
    sleepMs(500);
    EXPECT_EQ(run({"/usr/bin/pkill", "-xf", "voidrunner3d-wayland"}), 0);
    int status = -1;
    EXPECT_TRUE(waitForEnd(saver, 5000, status));
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(stillRunning(wallpaper));
}

// Weston offers no layer-shell: the client chooses a full-screen window by itself and fills
// the output, as its side of the protocol exchange shows.
TEST(Weston, FallsBackToAFullScreenWindow) {
    char folder[] = "/tmp/voidrunner-weston-XXXXXX";
    ASSERT_TRUE(mkdtemp(folder));
    const std::vector<std::string> environment = {std::string("XDG_RUNTIME_DIR=") + folder,
                                                  "WAYLAND_DISPLAY=voidrunner-weston", "DISPLAY"};
    Child weston = startProcess({"/usr/bin/weston", "--backend=headless-backend.so", "--use-pixman",
                                 "--socket=voidrunner-weston", "--width=640", "--height=400"},
                                environment);
    for (int64_t deadline = nowMs() + 10000;
         nowMs() < deadline &&
         access((std::string(folder) + "/voidrunner-weston").c_str(), F_OK);) {
        sleepMs(50);
    }
    std::vector<std::string> debug = environment;
    debug.push_back("WAYLAND_DEBUG=1");
    Child client = startProcess({VOIDRUNNER_WAYLAND_PATH, "--frames", "3", "--report"}, debug);
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
