// The run-mode choice with any argument vector: any count, empty arguments, digit runs of any
// length, signs, blanks, letters beyond ASCII, code points beyond the BMP and beyond Unicode,
// and terminators inside an argument. The choice always agrees with a reference written
// here over std::wstring, and its invariants hold: a configure request runs no mode, and
// only Preview has a parent handle.
#include <string>
#include <vector>

#include "app/runmode.h"
#include "fuzz/input.h"

namespace {

// '\n' ends an argument; 0xFE takes the next four bytes as one raw wchar_t, whatever its value;
// every other byte is the character of that code (Latin-1 for the upper half).
std::vector<std::vector<wchar_t>> argumentsOf(const uint8_t* data, size_t size) {
    std::vector<std::vector<wchar_t>> arguments(1);
    FuzzInput in{data, size, 0};
    while (inputLeft(in)) {
        const uint8_t byte = takeByte(in);
        if (byte == '\n') {
            arguments.emplace_back();
        } else if (byte == 0xFE) {
            arguments.back().push_back((wchar_t)(uint32_t)takeBits(in, 4));
        } else {
            arguments.back().push_back((wchar_t)byte);
        }
    }
    return arguments;
}

std::wstring lowered(const wchar_t* text) {
    std::wstring result(text);
    for (wchar_t& c : result) {
        if (c >= L'A' && c <= L'Z') {
            c = c + (L'a' - L'A');
        }
    }
    return result;
}

// Blanks, a sign, then digits; the exact value is clamped to the signed 64-bit range.
int64_t referenceNumber(const std::wstring& text) {
    size_t i = text.find_first_not_of(L" \t\n\v\f\r");
    if (i == std::wstring::npos) {
        return 0;
    }
    bool negative = false;
    if (text[i] == L'+' || text[i] == L'-') {
        negative = text[i] == L'-';
        i++;
    }
    __int128 value = 0;
    const __int128 limit = (__int128)INT64_MAX + 1;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; i++) {
        value = value * 10 + (text[i] - L'0');
        if (value > limit) {
            value = limit;
        }
    }
    if (negative) {
        return (int64_t)-value;
    }
    return value > INT64_MAX ? INT64_MAX : (int64_t)value;
}

RunChoice referenceChoice(int argc, const wchar_t* const* argv) {
    RunChoice choice{false, Default, 0};
    if (argc < 2) {
        return choice;
    }
    const std::wstring first = lowered(argv[1]);
    if (first == L"/s" || first == L"-s") {
        choice.mode = Saver;
    } else if (first == L"/c" || first == L"-c" || first.starts_with(L"/c:")) {
        choice.configure = true;
    } else if (first.starts_with(L"/p") || first.starts_with(L"-p")) {
        choice.mode = Preview;
        if (first.size() > 2 && first[2] == L':') {
            choice.previewParent = referenceNumber(first.substr(3));
        } else if (first.size() == 2 && argc > 2) {
            choice.previewParent = referenceNumber(argv[2]);
        }
    }
    return choice;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        const RunChoice none = chooseRunMode(3, nullptr);
        fuzzCheck(!none.configure && none.mode == Default && none.previewParent == 0,
                  "a null vector reads as no arguments");
        return 0;
    }
    // Every argument in a block of its own and exactly as long as its characters and one
    // terminator, so that a read past the terminator is seen.
    std::vector<std::vector<wchar_t>> arguments = argumentsOf(data, size);
    std::vector<const wchar_t*> argv;
    for (std::vector<wchar_t>& argument : arguments) {
        argument.push_back(0);
        argument.shrink_to_fit();
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    argv.shrink_to_fit();
    const int argc = (int)arguments.size();

    const RunChoice choice = chooseRunMode(argc, argv.data());
    fuzzCheck(choice.mode == Default || choice.mode == Saver || choice.mode == Preview,
              "the mode is one of the three");
    fuzzCheck(choice.mode == Preview || choice.previewParent == 0,
              "only Preview has a parent handle");
    fuzzCheck(!choice.configure || choice.mode == Default, "a configure request runs no mode");
    const RunChoice expected = referenceChoice(argc, argv.data());
    fuzzCheck(choice.configure == expected.configure && choice.mode == expected.mode &&
                  choice.previewParent == expected.previewParent,
              "the choice agrees with the reference");
    return 0;
}
