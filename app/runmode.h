// The run-mode choice: a pure function of the argument vector, so that it builds and is
// tested without Windows.
#pragma once

#include <stdint.h>
#include <wchar.h>

#include "engine/engine.h"

struct RunChoice {
    bool configure; // show the information box and end
    RunMode mode;
    int64_t previewParent; // the host window's handle value; 0 when none was given
};

// argv[0] is the program name; a null argv reads as no arguments.
RunChoice chooseRunMode(int argc, const wchar_t* const* argv);

// Whole-text comparison that folds only A to Z, as the C locale does.
bool equalsIgnoringCase(const wchar_t* text, const wchar_t* other);
bool beginsIgnoringCase(const wchar_t* text, const wchar_t* prefix);

// Decimal text to a signed 64-bit number: leading blanks, an optional sign, then digits up
// to the first other character; no digits gives 0, and a value beyond the range saturates.
int64_t parseDecimal64(const wchar_t* text);
