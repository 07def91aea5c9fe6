// The background on every vector path this processor has, against the scalar loop, word for
// word, at any size up to a few hundred pixels each way.
#include <vector>

#include "engine/engine.h"
#include "fuzz/input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size, 0};
    // Past the column block of the vector paths, and past a few vector widths in height.
    const int32_t width = 1 + (int32_t)(takeBits(in, 2) % 640);
    const int32_t height = 1 + (int32_t)(takeBits(in, 2) % 320);
    const size_t count = (size_t)width * (size_t)height;

    std::vector<uint32_t> reference(count);
    fillBackgroundOn(BackgroundScalar, reference.data(), width, height);
    for (uint32_t word : reference) {
        fuzzCheck(word >> 24 == 0, "bits 24 to 31 of the background are 0");
    }
    for (BackgroundPath path : backgroundPaths) {
        if (path == BackgroundScalar || !backgroundPathAvailable(path)) {
            continue;
        }
        // Exactly the size, so that a vector store past the end is seen.
        std::vector<uint32_t> words(count);
        fillBackgroundOn(path, words.data(), width, height);
        for (size_t i = 0; i < count; i++) {
            if (words[i] != reference[i]) {
                fprintf(stderr, "path %d, %dx%d: word %zu is %08x, the scalar loop gives %08x\n",
                        (int)path, width, height, i, words[i], reference[i]);
                fuzzCheck(false, "every path gives the scalar loop's words");
            }
        }
    }
    return 0;
}
