#include "tests/e2e/picture.h"

#include "engine/engine.h"

std::vector<uint32_t> backgroundFor(int32_t width, int32_t height) {
    std::vector<uint32_t> words((size_t)width * (size_t)height);
    fillBackground(words.data(), width, height);
    return words;
}

int32_t excess(uint32_t pixel, uint32_t base) {
    int32_t most = -255;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int32_t difference =
            (int32_t)(pixel >> shift & 0xFFu) - (int32_t)(base >> shift & 0xFFu);
        most = difference > most ? difference : most;
    }
    return most;
}

static size_t indexOf(const Picture& picture, int32_t x, int32_t y) {
    return (size_t)y * (size_t)picture.width + (size_t)x;
}

static Area clipped(const Picture& picture, Area area) {
    area.left = area.left < 0 ? 0 : area.left;
    area.top = area.top < 0 ? 0 : area.top;
    area.right = area.right > picture.width ? picture.width : area.right;
    area.bottom = area.bottom > picture.height ? picture.height : area.bottom;
    return area;
}

int32_t countLit(const Picture& picture, const std::vector<uint32_t>& background, Area area,
                 int32_t threshold) {
    area = clipped(picture, area);
    int32_t count = 0;
    for (int32_t y = area.top; y < area.bottom; y++) {
        for (int32_t x = area.left; x < area.right; x++) {
            const size_t i = indexOf(picture, x, y);
            count += excess(picture.pixels[i], background[i]) >= threshold;
        }
    }
    return count;
}

static bool steadyAt(const std::vector<Picture>& pictures, const std::vector<uint32_t>& background,
                     size_t i, int32_t threshold) {
    const uint32_t word = pictures[0].pixels[i];
    if (excess(word, background[i]) < threshold) {
        return false;
    }
    for (const Picture& other : pictures) {
        if (other.pixels[i] != word) {
            return false;
        }
    }
    return true;
}

int32_t countSteady(const std::vector<Picture>& pictures, const std::vector<uint32_t>& background,
                    Area area, int32_t threshold) {
    area = clipped(pictures[0], area);
    int32_t count = 0;
    for (int32_t y = area.top; y < area.bottom; y++) {
        for (int32_t x = area.left; x < area.right; x++) {
            count += steadyAt(pictures, background, indexOf(pictures[0], x, y), threshold);
        }
    }
    return count;
}

Area steadyBounds(const std::vector<Picture>& pictures, const std::vector<uint32_t>& background,
                  Area area, int32_t threshold) {
    area = clipped(pictures[0], area);
    Area bounds{area.right, area.bottom, area.left, area.top};
    for (int32_t y = area.top; y < area.bottom; y++) {
        for (int32_t x = area.left; x < area.right; x++) {
            if (steadyAt(pictures, background, indexOf(pictures[0], x, y), threshold)) {
                bounds.left = x < bounds.left ? x : bounds.left;
                bounds.top = y < bounds.top ? y : bounds.top;
                bounds.right = x + 1 > bounds.right ? x + 1 : bounds.right;
                bounds.bottom = y + 1 > bounds.bottom ? y + 1 : bounds.bottom;
            }
        }
    }
    return bounds;
}

int32_t countChanged(const Picture& a, const Picture& b) {
    int32_t count = 0;
    for (size_t i = 0; i < a.pixels.size() && i < b.pixels.size(); i++) {
        count += a.pixels[i] != b.pixels[i];
    }
    return count;
}

int32_t countLitMoved(const Picture& a, const Picture& b, const std::vector<uint32_t>& background,
                      Area area, int32_t threshold) {
    area = clipped(a, area);
    int32_t count = 0;
    for (int32_t y = area.top; y < area.bottom; y++) {
        for (int32_t x = area.left; x < area.right; x++) {
            const size_t i = indexOf(a, x, y);
            count += (excess(a.pixels[i], background[i]) >= threshold) !=
                     (excess(b.pixels[i], background[i]) >= threshold);
        }
    }
    return count;
}

CornerCheck checkBlock(const Picture& picture, const std::vector<uint32_t>& background, Area area) {
    area = clipped(picture, area);
    CornerCheck check{0, 0};
    for (int32_t y = area.top; y < area.bottom; y++) {
        for (int32_t x = area.left; x < area.right; x++) {
            const size_t i = indexOf(picture, x, y);
            const uint32_t word = picture.pixels[i], base = background[i];
            check.equal += word == base;
            for (int shift = 0; shift <= 16; shift += 8) {
                if ((word >> shift & 0xFFu) < (base >> shift & 0xFFu)) {
                    check.darker++;
                    break;
                }
            }
        }
    }
    return check;
}

// One run of lit pixels, given by the excess of each of its pixels in order.
static void countRun(const std::vector<int32_t>& run, int32_t minimum, int32_t& runs,
                     int32_t& headsFirst, int32_t& headsLast, int64_t& lengths) {
    const int32_t length = (int32_t)run.size();
    if (length < minimum) {
        return;
    }
    runs++;
    lengths += length;
    const int32_t end = length / 4 > 2 ? length / 4 : 2;
    int64_t first = 0, last = 0;
    for (int32_t k = 0; k < end; k++) {
        first += run[(size_t)k];
        last += run[(size_t)(length - 1 - k)];
    }
    headsFirst += first > last;
    headsLast += last > first;
}

Streaks findStreaks(const Picture& picture, const std::vector<uint32_t>& background, Area area,
                    int32_t threshold, int32_t minimum) {
    area = clipped(picture, area);
    Streaks streaks{};
    std::vector<int32_t> run;
    for (int32_t y = area.top; y < area.bottom; y++) {
        run.clear();
        for (int32_t x = area.left; x <= area.right; x++) {
            const int32_t e = x < area.right ? excess(picture.pixels[indexOf(picture, x, y)],
                                                      background[indexOf(picture, x, y)])
                                             : -1;
            if (e >= threshold) {
                run.push_back(e);
                streaks.litPixels++;
            } else {
                countRun(run, minimum, streaks.horizontal, streaks.headsLeft, streaks.headsRight,
                         streaks.runLength);
                run.clear();
            }
        }
    }
    for (int32_t x = area.left; x < area.right; x++) {
        run.clear();
        for (int32_t y = area.top; y <= area.bottom; y++) {
            const int32_t e = y < area.bottom ? excess(picture.pixels[indexOf(picture, x, y)],
                                                       background[indexOf(picture, x, y)])
                                              : -1;
            if (e >= threshold) {
                run.push_back(e);
            } else {
                countRun(run, minimum, streaks.vertical, streaks.headsUp, streaks.headsDown,
                         streaks.runLength);
                run.clear();
            }
        }
    }
    return streaks;
}
