#include "flight/flight.h"

#include <array>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include "engine/input.h"

namespace {

const int32_t largestSide = 65535;

size_t skipSign(const std::string& text, size_t at) {
    return at < text.size() && (text[at] == '+' || text[at] == '-') ? at + 1 : at;
}

size_t skipDigits(const std::string& text, size_t at) {
    const size_t end = text.find_first_not_of("0123456789", at);
    return end == std::string::npos ? text.size() : end;
}

// An optional sign and decimal digits, with a fraction and an exponent where allowed: no inf
// or nan, no hex, no blanks, so that every accepted text is a number strtod reads whole.
bool isNumber(const std::string& text, bool fraction, bool exponent) {
    const size_t start = skipSign(text, 0);
    size_t end = skipDigits(text, start);
    size_t digits = end - start;
    if (fraction && end < text.size() && text[end] == '.') {
        const size_t after = skipDigits(text, end + 1);
        digits += after - end - 1;
        end = after;
    }
    if (digits == 0) {
        return false;
    }
    if (exponent && end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        const size_t power = skipSign(text, end + 1);
        end = skipDigits(text, power);
        if (end == power) {
            return false;
        }
    }
    return end == text.size();
}

// The text before the first separator and the text after it; the second is empty when there
// is none.
std::array<std::string, 2> splitPair(const std::string& value, const char* separators) {
    const size_t at = value.find_first_of(separators);
    return {value.substr(0, at), at == std::string::npos ? "" : value.substr(at + 1)};
}

std::string readSize(const std::string& value, Flight& flight) {
    const std::array<std::string, 2> sides = splitPair(value, "xX");
    if (!isNumber(sides[0], false, false) || !isNumber(sides[1], false, false)) {
        return shownValue(value) + " is not a size";
    }
    int32_t* fields[2] = {&flight.width, &flight.height};
    const char* names[2] = {"width", "height"};
    for (int32_t i = 0; i < 2; i++) {
        int64_t side = 0;
        const std::string wrong = readWholeNumber(sides[i], 1, largestSide, side);
        if (!wrong.empty()) {
            return std::string(names[i]) + " " + wrong;
        }
        *fields[i] = (int32_t)side;
    }
    return "";
}

std::string readMode(const std::string& value, Flight& flight) {
    flight.mode = value == "preview" ? Preview : Saver;
    return value == "saver" || value == "preview" ? "" : shownValue(value) + " is not a mode";
}

std::string readFrames(const std::string& value, Flight& flight) {
    return readWholeNumber(value, 0, INT32_MAX, flight.frames);
}

std::string readFps(const std::string& value, Flight& flight) {
    if (!isNumber(value, true, false)) {
        return shownValue(value) + " is not a number";
    }
    flight.fps = strtod(value.c_str(), nullptr);
    // Above 10,000,000 a frame would be shorter than one tick of the counter.
    if (!(flight.fps > 0.0) || flight.fps > (double)flightTicksPerSecond) {
        return value + " is out of range";
    }
    return "";
}

std::string readSpeed(const std::string& value, Flight& flight) {
    int64_t speed = 0;
    const std::string wrong = readWholeNumber(value, 0, 100, speed);
    flight.speedPercent = (int32_t)speed;
    return wrong;
}

// Half a turn each way: a larger step per frame is the same turn the other way round.
const double steerLimit = 3.14159;

std::string readSteer(const std::string& value, Flight& flight) {
    const std::array<std::string, 2> parts = splitPair(value, ",");
    if (!isNumber(parts[0], true, true) || !isNumber(parts[1], true, true)) {
        return shownValue(value) + " is not YAW,PITCH";
    }
    float* fields[2] = {&flight.steerYaw, &flight.steerPitch};
    const char* names[2] = {"yaw", "pitch"};
    for (int32_t i = 0; i < 2; i++) {
        // Checked in double precision, so that a huge exponent is out of range rather than
        // infinite once it is narrowed to the steering fields' single precision.
        const double turn = strtod(parts[i].c_str(), nullptr);
        if (!(fabs(turn) <= steerLimit)) {
            return std::string(names[i]) + " " + parts[i] + " is out of range";
        }
        *fields[i] = (float)turn;
    }
    return "";
}

} // namespace

// Decimal only: a general conversion would read 010 as octal and 0x10 as hex.
std::string readWholeNumber(const std::string& value, int64_t lowest, int64_t highest,
                            int64_t& number) {
    if (!isNumber(value, false, false)) {
        return shownValue(value) + " is not a whole number";
    }
    // strtoll saturates, so a long digit run is out of range too.
    number = strtoll(value.c_str(), nullptr, 10);
    return number < lowest || number > highest ? value + " is out of range" : "";
}

// clang-format off
const FlightOption flightOptions[flightOptionCount] = {
    {"size", "WIDTHxHEIGHT", "frame size", "WIDTHxHEIGHT, each from 1 to 65535", "1280x720", readSize},
    {"mode", "MODE", "run mode; preview has fewer stars", "saver or preview", "saver", readMode},
    {"frames", "N", "frames to render", "a whole number from 0 to 2147483647", "120", readFrames},
    {"fps", "F", "frames per second of the clock", "a number above 0, at most 10000000", "60", readFps},
    {"speed", "P", "the wheel's speed setting", "a whole number from 0 to 100", "28", readSpeed},
    {"steer", "YAW,PITCH", "steering before every frame, at most half a turn",
     "YAW,PITCH in radians, each from -3.14159 to 3.14159", "0,0", readSteer},
};
// clang-format on

Flight defaultFlight() {
    Flight flight{};
    for (const FlightOption& option : flightOptions) {
        option.read(option.fallback, flight);
    }
    setFrameTicks(flight);
    return flight;
}

std::string setFrameTicks(Flight& flight) {
    // The last frame's stamp, frames x frameTicks, must fit the signed 64-bit counter; the
    // quotient is checked before it is rounded, since a clock slow enough to overrun it with
    // one frame would overflow the rounding itself.
    const double ticks = (double)flightTicksPerSecond / flight.fps;
    const int64_t last = flight.frames > 0 ? flight.frames : 1;
    if (ticks < 9223372036854775808.0 / (double)last) {
        flight.frameTicks = llround(ticks);
        if (flight.frameTicks <= INT64_MAX / last) {
            return "";
        }
    }
    char fps[32];
    snprintf(fps, sizeof fps, "%g", flight.fps);
    return std::string(fps) + " over " + std::to_string(flight.frames) +
           " frames runs past the clock (at most " +
           std::to_string(INT64_MAX / flightTicksPerSecond) + " seconds of flight)";
}

void startFlight(const Flight& flight, PlatformClock clock) {
    resetEngineState();
    resetPlatform();
    platform.clock = clock;
    engine.runMode = flight.mode;
    takeStartStamp();
    setSpeedSetting(flight.speedPercent);
}

void flyFrame(const Flight& flight, int64_t frame) {
    engine.pendingYaw += flight.steerYaw;
    engine.pendingPitch += flight.steerPitch;
    platform.counter = frame * flight.frameTicks;
    renderFrame(engine.mainWindow);
}
