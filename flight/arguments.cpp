#include "flight/arguments.h"

#include "engine/messages.h"

namespace {

const ArgumentRule* ruleNamed(const std::string& name, const ArgumentRule* rules, size_t count) {
    for (size_t i = 0; i < count; i++) {
        if (name == rules[i].name) {
            return &rules[i];
        }
    }
    return nullptr;
}

} // namespace

bool readArgument(int argc, const char* const* argv, int& at, const ArgumentRule* rules,
                  size_t ruleCount, const char* helpOption, ArgumentWord& word,
                  std::string& problem) {
    const std::string given = argv[at];
    const size_t equals = given.find('=');
    word.spelled = given.substr(0, equals);
    word.value.clear();
    word.rule = ruleNamed(word.spelled, rules, ruleCount);
    if (!word.rule && word.spelled.size() > 2 && word.spelled.compare(0, 2, "--") == 0) {
        word.rule = ruleNamed(word.spelled.substr(1), rules, ruleCount);
    }
    if (!word.rule) {
        problem = word.spelled.size() > 1 && word.spelled[0] == '-'
                      ? word.spelled + ": unknown option (" + helpOption + " lists them)"
                      : shownValue(given) + ": unexpected argument (only options; " + helpOption +
                            " lists them)";
        return false;
    }
    if (!word.rule->allowed) {
        if (equals != std::string::npos) {
            problem = word.spelled + ": unexpected value " + shownValue(given.substr(equals + 1)) +
                      " (a flag takes no value)";
            return false;
        }
    } else if (equals != std::string::npos) {
        word.value = given.substr(equals + 1);
    } else if (at + 1 < argc) {
        word.value = argv[++at];
    } else {
        problem = word.spelled + ": missing value (" + word.rule->allowed + ")";
        return false;
    }
    return true;
}
