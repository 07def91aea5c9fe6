// The renderer's command line, run as a separate process in a scratch folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <png.h>
#include <set>
#include <stdlib.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

#include "engine/engine.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t crcOf(const std::string& bytes) {
    return (uint32_t)crc32(0L, (const Bytef*)bytes.data(), (uInt)bytes.size());
}

uint32_t crcOf(const uint32_t* words, size_t count) {
    return (uint32_t)crc32(0L, (const Bytef*)words, (uInt)(count * 4));
}

// Every file and folder below root, as paths relative to it.
std::set<std::string> listing(const fs::path& root) {
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        names.insert(fs::relative(entry.path(), root).string());
    }
    return names;
}

// Decodes a PNG into words laid out like the renderer's raw output: blue, green, red, 0.
bool decodePng(const fs::path& path, int32_t& width, int32_t& height,
               std::vector<uint32_t>& words) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        return false;
    }
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    width = (int32_t)image.width;
    height = (int32_t)image.height;
    words.resize((size_t)width * height);
    for (size_t i = 0; i < words.size(); i++) {
        words[i] = (uint32_t)rgb[i * 3] << 16 | (uint32_t)rgb[i * 3 + 1] << 8 | rgb[i * 3 + 2];
    }
    return true;
}

std::vector<uint32_t> wordsOf(const std::string& raw) {
    std::vector<uint32_t> words(raw.size() / 4);
    memcpy(words.data(), raw.data(), words.size() * 4);
    return words;
}

class RenderCli : public ::testing::Test {
  protected:
    fs::path scratch, work;

    void SetUp() override {
        char name[] = "/tmp/voidrunner-render-test-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        scratch = name;
        work = scratch / "work";
        fs::create_directory(work);
    }
    void TearDown() override {
        fs::remove_all(scratch);
    }

    Outcome run(const std::vector<std::string>& args) {
        const fs::path outPath = scratch / "stdout", errPath = scratch / "stderr";
        std::vector<char*> argv;
        std::string program = VOIDRUNNER_RENDER_PATH;
        argv.push_back(program.data());
        std::vector<std::string> copies = args;
        for (std::string& arg : copies) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        Outcome result;
        const pid_t child = fork();
        if (child == 0) {
            const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
                chdir(work.c_str()) != 0) {
                _exit(127);
            }
            execv(argv[0], argv.data());
            _exit(127);
        }
        int status = 0;
        if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) {
            result.exitCode = WEXITSTATUS(status);
        }
        result.out = readFile(outPath);
        result.err = readFile(errPath);
        return result;
    }

    // Runs and expects success with one summary line and a quiet stderr.
    std::string summaryOf(const std::vector<std::string>& args) {
        Outcome result = run(args);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1) << result.out;
        return result.out;
    }
};

TEST_F(RenderCli, SmallSteeredFlightKeepsItsRecordedPicture) {
    std::string summary = summaryOf(
        {"--size", "320x240", "--frames", "90", "--steer", "0.002,-0.001", "--out", "flight.raw"});
    const std::string raw = readFile(work / "flight.raw");
    ASSERT_EQ(raw.size(), 320u * 240u * 4u);
    EXPECT_EQ(crcOf(raw), 0x0ECC2663u);
    EXPECT_NE(summary.find("size 320x240, mode saver, stars 900, frames 90,"), std::string::npos)
        << summary;
    EXPECT_EQ(listing(work), std::set<std::string>{"flight.raw"});
}

TEST_F(RenderCli, BackgroundOfSixForty) {
    summaryOf({"--size", "640x480", "--background", "--out", "b.raw"});
    EXPECT_EQ(crcOf(readFile(work / "b.raw")), 0xF3CF2CFAu);
    // It needs no frame, and the PNG holds the same pixels.
    summaryOf({"--size=640x480", "--frames=0", "--background", "--out=b.png"});
    int32_t width = 0, height = 0;
    std::vector<uint32_t> words;
    ASSERT_TRUE(decodePng(work / "b.png", width, height, words));
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
    EXPECT_EQ(crcOf(words.data(), words.size()), 0xF3CF2CFAu);
}

// The tool's start-up and clock against the engine driven by hand, the same way.
TEST_F(RenderCli, FramesMatchTheEngineDrivenByHand) {
    struct Flight {
        int32_t width, height;
        RunMode mode;
        int64_t frames;
        const char* fps;
        int64_t ticksPerFrame;
        int32_t speed;
        float yaw, pitch;
        const char* steer;
    } flights[] = {
        {200, 150, Preview, 45, "24", 416667, 70, -0.003f, 0.002f, "-0.003,0.002"},
        {160, 200, Saver, 12, "7", 1428571, 0, 0.0f, 0.0f, "0,0"}, // frames longer than 0.05 s
        {97, 61, Saver, 30, "59.94", 166834, 100, 0.01f, 0.0f, "0.01,0"},     // odd sizes
        {64, 48, Saver, 10, "60", 166667, 28, 0.002f, -0.001f, "2e-3,-1E-3"}, // exponents
    };
    for (const Flight& f : flights) {
        const std::string size = std::to_string(f.width) + "x" + std::to_string(f.height);
        SCOPED_TRACE(size);
        const std::string summary =
            summaryOf({"--size", size, "--mode", f.mode == Preview ? "preview" : "saver",
                       "--frames", std::to_string(f.frames), "--fps", f.fps, "--speed",
                       std::to_string(f.speed), "--steer", f.steer, "--out", "last.raw"});

        resetEngineState();
        resetPlatform();
        engine.runMode = f.mode;
        engine.counterFrequency = 10000000;
        engine.speedPercent = f.speed;
        engine.targetSpeed = speedCurve(f.speed);
        HWND window = createSurfaceWindow(f.width, f.height);
        engine.mainWindow = window;
        rebuildFrameBuffers(f.width, f.height);
        for (int64_t k = 1; k <= f.frames; k++) {
            engine.pendingYaw += f.yaw;
            engine.pendingPitch += f.pitch;
            platform.counter = k * f.ticksPerFrame;
            renderFrame(window);
        }
        const size_t count = (size_t)f.width * f.height;
        EXPECT_EQ(crcOf(readFile(work / "last.raw")), crcOf(window->surface, count));
        char expected[96];
        snprintf(expected, sizeof expected, "stars %d, frames %lld, speed %d, rng 0x%08x,",
                 engine.starCount, (long long)f.frames, f.speed, engine.rngState);
        EXPECT_NE(summary.find(expected), std::string::npos) << summary << "\n" << expected;
        releaseFrameBuffers();
        destroySurfaceWindow(window);
        resetEngineState();
    }
}

TEST_F(RenderCli, SummaryReportsSizeModeStarsAndSpeed) {
    struct Case {
        std::vector<std::string> args;
        const char* part;
    } cases[] = {
        {{"--frames", "0"}, "size 1280x720, mode saver, stars 1181, frames 0, speed 28,"},
        {{"--size", "320x240", "--mode", "preview", "--frames", "0"}, "mode preview, stars 960,"},
        {{"--mode", "preview", "--frames", "0"}, "mode preview, stars 1100,"},
        {{"--size", "2000x2000", "--frames", "0"}, "stars 3600,"},
        {{"--size", "64x48", "--frames", "300"}, "stars 900, frames 300, speed 28,"},
        {{"--size", "64x48", "--frames", "400", "--speed", "100"}, "speed 100,"},
        {{"--size", "64x48", "--frames", "600", "--speed", "0"}, "speed 0,"},
        {{"--size", "64x48", "--frames", "3", "--speed", "70"}, "speed 70,"}, // the setting given
    };
    for (const Case& c : cases) {
        const std::string summary = summaryOf(c.args);
        EXPECT_NE(summary.find(c.part), std::string::npos) << summary;
        const size_t rng = summary.find("rng 0x");
        ASSERT_NE(rng, std::string::npos) << summary;
        EXPECT_EQ(summary.find_first_not_of("0123456789abcdef", rng + 6), rng + 14) << summary;
    }
    EXPECT_TRUE(listing(work).empty());
}

TEST_F(RenderCli, PngHoldsTheSamePixelsAsRaw) {
    const std::vector<std::string> flight = {"--size", "120x90",  "--frames",
                                             "20",     "--steer", "0.02,0.01"};
    std::vector<std::string> asPng = flight, asRaw = flight;
    asPng.insert(asPng.end(), {"--out", "f.png"});
    asRaw.insert(asRaw.end(), {"--out", "f.raw"});
    summaryOf(asPng);
    summaryOf(asRaw);
    const std::string png = readFile(work / "f.png");
    ASSERT_GT(png.size(), 26u);
    EXPECT_EQ(png[24], 8); // bit depth
    EXPECT_EQ(png[25], 2); // colour type: RGB, no alpha
    int32_t width = 0, height = 0;
    std::vector<uint32_t> words;
    ASSERT_TRUE(decodePng(work / "f.png", width, height, words));
    EXPECT_EQ(width, 120);
    EXPECT_EQ(height, 90);
    EXPECT_EQ(words, wordsOf(readFile(work / "f.raw")));
}

TEST_F(RenderCli, SequenceWritesEveryFrame) {
    summaryOf({"--size", "80x60", "--frames", "3", "--sequence", "seq", "--out", "last.png"});
    EXPECT_EQ(listing(work), (std::set<std::string>{"last.png", "seq", "seq/frame-00001.png",
                                                    "seq/frame-00002.png", "seq/frame-00003.png"}));
    int32_t w = 0, h = 0;
    std::vector<uint32_t> first, third, last;
    ASSERT_TRUE(decodePng(work / "seq/frame-00001.png", w, h, first));
    ASSERT_TRUE(decodePng(work / "seq/frame-00003.png", w, h, third));
    ASSERT_TRUE(decodePng(work / "last.png", w, h, last));
    EXPECT_EQ(third, last);
    EXPECT_NE(first, third);
    // An existing folder is used as it is.
    summaryOf({"--size", "80x60", "--frames", "1", "--sequence", "seq"});
    EXPECT_EQ(listing(work).size(), 5u);
}

TEST_F(RenderCli, AFailedSequenceTakesBackWhatItWrote) {
    fs::create_directories(work / "seq/frame-00002.png"); // a folder where frame 2 must go
    const std::set<std::string> before = listing(work);
    Outcome result =
        run({"--size", "80x60", "--frames", "4", "--sequence", "seq", "--out", "x.png"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("frame-00002.png"), std::string::npos) << result.err;
    EXPECT_EQ(listing(work), before);
}

TEST_F(RenderCli, BadInputExitsWithOneLineAndNoFile) {
    struct Case {
        std::vector<std::string> args;
        const char* named; // what the message must mention
    } cases[] = {
        {{"--size", "0x240"}, "width 0"},
        {{"--size", "320x0"}, "height 0"},
        {{"--size", "65536x100"}, "65536"},
        {{"--size", "320"}, "--size: 320 is not a size (WIDTHxHEIGHT, each from 1 to 65535)"},
        {{"--size", "32ax240"}, "32ax240"},
        {{"--size", ""}, "--size"},
        {{"--size"}, "--size: missing value before --out ("},
        {{"--size", "64x48", "--size", "64x48"}, "--size: given more than once (at most once)"},
        {{"--mode", "demo"}, "demo"},
        {{"--frames", "-1"}, "--frames"},
        {{"--frames", "-5"},
         "voidrunner-render: --frames: -5 is out of range (a whole number from 0 to 2147483647)\n"},
        {{"--frames", "ten"}, "ten"},
        {{"--frames", "1.5"}, "--frames"},
        {{"--frames", "99999999999"}, "--frames"},
        {{"--fps", "0"}, "--fps"},
        {{"--fps", "fast"}, "fast"},
        {{"--fps", "20000000"}, "--fps"},
        {{"--fps", "0.000000001", "--frames", "100000000"}, "--fps"},
        {{"--fps", "0.000000000001", "--frames", "2"}, "--fps"}, // past the rounding's range
        {{"--mode", "two\nlines"}, "--mode"},
        {{"--speed", "101"}, "--speed"},
        {{"--speed", "5.5"}, "--speed"},
        {{"--steer", "0.1"}, "--steer"},
        {{"--steer", "0.1,x"}, "--steer"},
        {{"--steer", "nan,0"}, "--steer"},
        {{"--steer", "1e30,1e30"},
         "--steer: yaw 1e30 is out of range (YAW,PITCH in radians, each from -3.14159 to 3.14159)"},
        {{"--turbo"}, "--turbo: unknown option (see --help)"},
        {{"stray"}, "stray: unexpected argument (only options; see --help)"},
        {{"--background=yes"}, "--background: unexpected value yes (a flag takes no value)"},
    };
    // Each of these would write a good output if its input were valid.
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--out", "result.png", "--sequence", "seq"});
        std::string shown;
        for (const std::string& arg : args) {
            shown += arg + " ";
        }
        SCOPED_TRACE(shown);
        Outcome result = run(args);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(result.out, "");
        ASSERT_FALSE(result.err.empty());
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
        EXPECT_NE(result.err.find(c.named), std::string::npos) << result.err;
        EXPECT_TRUE(listing(work).empty());
    }
}

TEST_F(RenderCli, OutputsThatCannotBeWritten) {
    fs::create_directory(work / "taken.png");
    std::ofstream(work / "plain.txt") << "x";
    const std::set<std::string> before = listing(work);
    struct Case {
        std::vector<std::string> args;
        const char* named;
    } cases[] = {
        {{"--out", "missing/x.png"}, "--out: cannot write missing/x.png ("},
        {{"--out", "image.bmp"}, "image.bmp"},
        {{"--out", "taken.png"}, "taken.png"},
        {{"--frames", "0", "--out", "x.png"}, "--frames 0"},
        {{"--background"}, "--background: no file to write it to (use it with --out FILE)"},
        {{"--sequence", "missing/seq"}, "missing/seq"},
        {{"--sequence", "plain.txt", "--out", "x.raw"}, "plain.txt"},
        {{"--out", "x.raw", "--out", "y.raw"}, "--out"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.named);
        std::vector<std::string> args = {"--size", "64x48"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Outcome result = run(args);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_NE(result.err.find(c.named), std::string::npos) << result.err;
        EXPECT_EQ(listing(work), before);
    }
}

TEST_F(RenderCli, WholeNumbersAreDecimalAndValuesAreNotOptions) {
    // A leading zero is not octal and 0x is not hex.
    EXPECT_NE(summaryOf({"--size", "8x8", "--frames", "010", "--speed", "+007"}).find("frames 10,"),
              std::string::npos);
    struct Case {
        std::vector<std::string> args;
        const char* named;
    } cases[] = {
        {{"--frames", "0x10"}, "0x10"},
        {{"--sequence", "--frames", "3"}, "--sequence"}, // no folder named --frames
        {{"--out", "--speed", "5"}, "--out"},
        {{"--frames", "5", "--fps"},
         "voidrunner-render: --fps: missing value (a number above 0, at most 10000000)\n"},
        {{"-h-size"}, "voidrunner-render: --size: missing value (WIDTHxHEIGHT, each from 1 to"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.named);
        Outcome result = run(c.args);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_NE(result.err.find(c.named), std::string::npos) << result.err;
        EXPECT_TRUE(listing(work).empty());
    }
}

TEST_F(RenderCli, HelpShowsEveryOptionWithItsRangeAndDefault) {
    const std::string help = run({"--help"}).out;
    struct Line {
        const char* option;
        const char* range;
        const char* fallback; // the default, as a run without the option uses it
    } lines[] = {
        {"--size WIDTHxHEIGHT", "each from 1 to 65535", "1280x720"},
        {"--mode MODE", "saver or preview", "saver"},
        {"--frames N", "from 0 to 2147483647", "120"},
        {"--fps F", "above 0, at most 10000000", "60"},
        {"--speed P", "from 0 to 100", "28"},
        {"--steer YAW,PITCH", "each from -3.14159 to 3.14159", "0,0"},
        {"--out FILE", ".png or .raw", ""},
        {"--background", "--out", ""},
        {"--sequence DIR", "", ""},
        {"--version", "", ""},
        {"-h,--help", "", ""},
    };
    for (const Line& line : lines) {
        const size_t at = help.find("  " + std::string(line.option));
        ASSERT_NE(at, std::string::npos) << line.option << "\n" << help;
        // An option's entry runs to the next line that begins with an option.
        const std::string entry = help.substr(at, help.find("\n  -", at + 1) - at);
        EXPECT_NE(entry.find(line.range), std::string::npos) << entry;
        if (*line.fallback) {
            EXPECT_NE(entry.find(std::string("=") + line.fallback), std::string::npos) << entry;
        }
    }
    // The defaults shown are the ones a bare run takes.
    EXPECT_NE(summaryOf({"--frames", "0"}).find("size 1280x720, mode saver,"), std::string::npos);
}

TEST_F(RenderCli, ExtremeButValidSizes) {
    for (auto [size, bytes] : {std::pair{"65535x1", 65535u * 4u}, std::pair{"1x65535", 65535u * 4u},
                               std::pair{"1x1", 4u}}) {
        SCOPED_TRACE(size);
        summaryOf({"--size", size, "--frames", "2", "--out", "x.raw"});
        EXPECT_EQ(readFile(work / "x.raw").size(), bytes);
    }
}

TEST_F(RenderCli, HelpAndVersion) {
    for (const char* flag : {"--help", "-h"}) {
        Outcome result = run({"--frames", "5", flag});
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.out.rfind("Usage: voidrunner-render", 0), 0u) << result.out;
        EXPECT_NE(result.out.find("--sequence DIR"), std::string::npos);
    }
    Outcome version = run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "voidrunner-render " VOIDRUNNER_EXPECTED_VERSION "\n");
    EXPECT_TRUE(listing(work).empty());
}

} // namespace
