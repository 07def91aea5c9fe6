#include "engine/messages.h"

std::string shownValue(const std::string& value) {
    return value.empty() || value.find(' ') != std::string::npos ? "\"" + value + "\"" : value;
}

void keepOneLine(std::string& message) {
    for (char& c : message) {
        if ((unsigned char)c < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
}
