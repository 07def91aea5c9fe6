#include "app/runmode.h"

static wchar_t foldCase(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? (wchar_t)(c - L'A' + L'a') : c;
}

bool equalsIgnoringCase(const wchar_t* text, const wchar_t* other) {
    for (;; text++, other++) {
        if (foldCase(*text) != foldCase(*other)) {
            return false;
        }
        if (*text == 0) {
            return true;
        }
    }
}

bool beginsIgnoringCase(const wchar_t* text, const wchar_t* prefix) {
    for (; *prefix; text++, prefix++) {
        if (foldCase(*text) != foldCase(*prefix)) {
            return false;
        }
    }
    return true;
}

static bool isBlank(wchar_t c) {
    return c == L' ' || (c >= L'\t' && c <= L'\r');
}

int64_t parseDecimal64(const wchar_t* text) {
    while (isBlank(*text)) {
        text++;
    }
    bool negative = false;
    if (*text == L'-' || *text == L'+') {
        negative = *text == L'-';
        text++;
    }
    // Accumulated unsigned with a ceiling, so that a huge digit string cannot overflow.
    const uint64_t ceiling = negative ? (uint64_t)INT64_MAX + 1u : (uint64_t)INT64_MAX;
    uint64_t value = 0;
    for (; *text >= L'0' && *text <= L'9'; text++) {
        const uint64_t digit = (uint64_t)(*text - L'0');
        value = value > (ceiling - digit) / 10u ? ceiling : value * 10u + digit;
    }
    if (negative) {
        return value == (uint64_t)INT64_MAX + 1u ? INT64_MIN : -(int64_t)value;
    }
    return (int64_t)value;
}

RunChoice chooseRunMode(int argc, const wchar_t* const* argv) {
    RunChoice choice{false, Default, 0};
    if (!argv || argc < 2) {
        return choice;
    }
    const wchar_t* first = argv[1];
    if (equalsIgnoringCase(first, L"/s") || equalsIgnoringCase(first, L"-s")) {
        choice.mode = Saver;
    } else if (equalsIgnoringCase(first, L"/c") || equalsIgnoringCase(first, L"-c") ||
               beginsIgnoringCase(first, L"/c:")) {
        choice.configure = true;
    } else if (beginsIgnoringCase(first, L"/p") || beginsIgnoringCase(first, L"-p")) {
        choice.mode = Preview;
        if (first[2] == L':') {
            choice.previewParent = parseDecimal64(first + 3);
        } else if (first[2] == 0 && argc > 2) {
            choice.previewParent = parseDecimal64(argv[2]);
        }
    }
    return choice;
}
