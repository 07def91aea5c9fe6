// The words of a command line as the hack and the Wayland client take them: an option's name,
// then its value after '=' or as the next word.
#pragma once

#include <stddef.h>
#include <string>

struct ArgumentRule {
    const char* name;    // as the table spells it: "-window" or "--layer"
    const char* allowed; // what its value may be, for messages; null for a flag
};

struct ArgumentWord {
    const ArgumentRule* rule;
    std::string spelled; // the option as given, which every message about it names
    std::string value;   // empty for a flag
};

// Called by the hack's and the Wayland client's readers for the word at argv[at], which moves
// past the value it takes. A name with one dash more than the table's names the same option.
// False with problem set (one line: the word, a colon, what is wrong, in parentheses what it
// allows) when the word is no option, a flag has a value or a value is missing; helpOption
// names the option that lists them.
bool readArgument(int argc, const char* const* argv, int& at, const ArgumentRule* rules,
                  size_t ruleCount, const char* helpOption, ArgumentWord& word,
                  std::string& problem);
