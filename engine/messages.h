// How every command line (the renderer, the hack and the web page) quotes what it was given in
// its one-line messages, OPTION: what is wrong (what it allows).
#pragma once

#include <string>

// A value as the messages show it: as typed, unless it would vanish or run into the words
// around it.
std::string shownValue(const std::string& value);

// Messages quote what they were given, which may hold line breaks or other controls: each
// becomes '?', so that a message stays one line.
void keepOneLine(std::string& message);
