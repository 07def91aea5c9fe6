// The committed icon file: that the icon maker still makes it byte for byte, and what its
// bitmaps hold.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

typedef std::vector<uint8_t> Bytes;

Bytes readFile(const std::string& path) {
    Bytes bytes;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) {
        return bytes;
    }
    uint8_t buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    fclose(file);
    return bytes;
}

uint32_t get16(const Bytes& bytes, size_t at) {
    return bytes[at] | (uint32_t)bytes[at + 1] << 8;
}

uint32_t get32(const Bytes& bytes, size_t at) {
    return get16(bytes, at) | get16(bytes, at + 2) << 16;
}

class IconFile : public ::testing::Test {
  protected:
    Bytes icon = readFile(VOIDRUNNER_ICON_PATH);

    Bytes image(size_t index) {
        const size_t entry = 6 + 16 * index;
        const size_t offset = get32(icon, entry + 12), length = get32(icon, entry + 8);
        return Bytes(icon.begin() + (long)offset, icon.begin() + (long)(offset + length));
    }
};

// The smaller ones: 32-bit bitmaps of double height whose mask marks exactly the clear pixels,
// and at 16 px still a few bright stars on a dark tile.
TEST_F(IconFile, SmallerAreMaskedBitmaps) {
    const uint32_t sizes[] = {128, 64, 48, 32, 16};
    for (size_t i = 0; i < 5; i++) {
        const uint32_t n = sizes[i];
        SCOPED_TRACE(n);
        const Bytes dib = image(i + 1);
        const uint32_t stride = (n + 31) / 32 * 4;
        ASSERT_EQ(dib.size(), 40 + n * n * 4 + stride * n);
        EXPECT_EQ(get32(dib, 0), 40u);
        EXPECT_EQ(get32(dib, 4), n);
        EXPECT_EQ(get32(dib, 8), 2 * n);
        EXPECT_EQ(get16(dib, 12), 1u);
        EXPECT_EQ(get16(dib, 14), 32u);
        EXPECT_EQ(get32(dib, 16), 0u);
        uint32_t clear = 0, bright = 0, dark = 0;
        for (uint32_t y = 0; y < n; y++) {
            for (uint32_t x = 0; x < n; x++) {
                const uint8_t* p = &dib[40 + (y * n + x) * 4];
                const bool masked = dib[40 + n * n * 4 + y * stride + x / 8] & (0x80 >> (x % 8));
                EXPECT_EQ(masked, p[3] == 0) << x << "," << y;
                clear += p[3] == 0;
                if (p[3] == 255) {
                    const uint32_t light = p[0] + p[1] + p[2];
                    bright += light > 3 * 150;
                    dark += light < 3 * 40 && p[0] >= p[2];
                }
            }
        }
        EXPECT_GT(clear, 0u) << "rounded corners";
        EXPECT_LT(clear, n * n / 10);
        EXPECT_GE(bright, 4u);
        EXPECT_LT(bright, n * n / 8);
        EXPECT_GT(dark, n * n / 2) << "mostly dark blue";
    }
}

TEST_F(IconFile, IconMakerMakesItAgain) {
    char folder[] = "/tmp/iconmaker-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string made = std::string(folder) + "/made.ico";
    const std::string command = std::string(VOIDRUNNER_ICONMAKER_PATH) + " " + made;
    ASSERT_EQ(system(command.c_str()), 0);
    const Bytes fresh = readFile(made);
    remove(made.c_str());
    remove(folder);
    EXPECT_FALSE(fresh.empty());
    EXPECT_TRUE(fresh == icon) << "run voidrunner-iconmaker resources/voidrunner3d.ico";
}

} // namespace
