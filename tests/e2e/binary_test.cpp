// The built file itself: what it exports and imports, and the resources the system reads from it.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <set>

#include <zlib.h>

#include "tests/e2e/host.h"

namespace {

// The file's headers, read from its bytes rather than through the loader.
struct Image {
    std::vector<uint8_t> bytes;
    const IMAGE_NT_HEADERS64* headers;
    const IMAGE_SECTION_HEADER* sections;
};

Image readImage() {
    Image image{readBytes(hostPaths.saver), nullptr, nullptr};
    if (image.bytes.size() < sizeof(IMAGE_DOS_HEADER)) {
        return image;
    }
    const IMAGE_DOS_HEADER* dos = (const IMAGE_DOS_HEADER*)image.bytes.data();
    if (dos->e_magic != IMAGE_DOS_SIGNATURE ||
        (size_t)dos->e_lfanew + sizeof(IMAGE_NT_HEADERS64) > image.bytes.size()) {
        return image;
    }
    image.headers = (const IMAGE_NT_HEADERS64*)(image.bytes.data() + dos->e_lfanew);
    image.sections = IMAGE_FIRST_SECTION(image.headers);
    return image;
}

// The bytes at a relative virtual address, or null when no section holds it.
const uint8_t* at(const Image& image, uint32_t rva) {
    for (WORD i = 0; i < image.headers->FileHeader.NumberOfSections; i++) {
        const IMAGE_SECTION_HEADER& section = image.sections[i];
        const uint32_t size = std::max(section.Misc.VirtualSize, section.SizeOfRawData);
        if (rva >= section.VirtualAddress && rva < section.VirtualAddress + size) {
            const size_t offset = rva - section.VirtualAddress + section.PointerToRawData;
            return offset < image.bytes.size() ? image.bytes.data() + offset : nullptr;
        }
    }
    return nullptr;
}

std::string textAt(const Image& image, uint32_t rva) {
    const char* text = (const char*)at(image, rva);
    return text ? std::string(text) : std::string();
}

TEST(Binary, IsASixtyFourBitWindowsGuiProgram) {
    const Image image = readImage();
    ASSERT_NE(image.headers, nullptr) << "not a PE file";
    EXPECT_EQ(image.headers->Signature, (DWORD)IMAGE_NT_SIGNATURE);
    EXPECT_EQ(image.headers->FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
    EXPECT_EQ(image.headers->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR64_MAGIC);
    EXPECT_EQ(image.headers->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
    EXPECT_FALSE(image.headers->FileHeader.Characteristics & IMAGE_FILE_DLL);
}

TEST(Binary, ExportsExactlyTheThreeScreenSaverStubs) {
    const Image image = readImage();
    ASSERT_NE(image.headers, nullptr);
    const IMAGE_DATA_DIRECTORY& directory =
        image.headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const IMAGE_EXPORT_DIRECTORY* exports =
        (const IMAGE_EXPORT_DIRECTORY*)at(image, directory.VirtualAddress);
    ASSERT_NE(exports, nullptr) << "no export directory";
    const DWORD* names = (const DWORD*)at(image, exports->AddressOfNames);
    std::set<std::string> exported;
    for (DWORD i = 0; names && i < exports->NumberOfNames; i++) {
        exported.insert(textAt(image, names[i]));
    }
    EXPECT_EQ(exported, (std::set<std::string>{"RegisterDialogClasses",
                                               "ScreenSaverConfigureDialog", "ScreenSaverProcW"}));
    EXPECT_EQ(exports->NumberOfFunctions, 3u) << "exports by ordinal only";
}

TEST(Binary, ImportsOnlyFromTheSystem) {
    const Image image = readImage();
    ASSERT_NE(image.headers, nullptr);
    wchar_t system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    const IMAGE_DATA_DIRECTORY& directory =
        image.headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    const IMAGE_IMPORT_DESCRIPTOR* imports =
        (const IMAGE_IMPORT_DESCRIPTOR*)at(image, directory.VirtualAddress);
    ASSERT_NE(imports, nullptr) << "no import directory";
    std::set<std::string> dlls;
    for (; imports->Name; imports++) {
        std::string name = textAt(image, imports->Name);
        std::transform(name.begin(), name.end(), name.begin(), ::tolower);
        dlls.insert(name);
    }
    EXPECT_TRUE(dlls.count("kernel32.dll"));
    EXPECT_TRUE(dlls.count("user32.dll"));
    EXPECT_TRUE(dlls.count("gdi32.dll"));
    for (const std::string& name : dlls) {
        // The compiler's runtimes (libstdc++, libgcc, winpthread) and zlib are no system DLLs.
        const bool compilerRuntime = name.rfind("lib", 0) == 0 || name.find("zlib") != name.npos;
        const std::wstring path =
            std::wstring(system) + L"\\" + std::wstring(name.begin(), name.end());
        const bool inSystem = GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
        EXPECT_TRUE(inSystem && !compilerRuntime) << name << " is not a system DLL";
    }
    EXPECT_EQ(image.headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT].Size,
              0u)
        << "delayed imports";
}

class Resources : public ::testing::Test {
  protected:
    HMODULE module = nullptr;

    void SetUp() override {
        module = LoadLibraryExW(hostPaths.saver.c_str(), nullptr,
                                LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module, nullptr) << "cannot open the file's resources";
    }
    void TearDown() override {
        if (module) {
            FreeLibrary(module);
        }
    }

    std::vector<uint8_t> resource(const wchar_t* type, WORD id) {
        HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
        if (!found) {
            return {};
        }
        const uint8_t* data = (const uint8_t*)LockResource(LoadResource(module, found));
        return data ? std::vector<uint8_t>(data, data + SizeofResource(module, found))
                    : std::vector<uint8_t>();
    }
};

TEST_F(Resources, DescriptionString) {
    wchar_t text[256] = {};
    EXPECT_EQ(LoadStringW(module, 1, text, 256), 13);
    EXPECT_STREQ(text, L"Voidrunner 3D");
}

#pragma pack(push, 2)
struct GroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

// Both groups hold the same six 32-bit images: 256 stored as PNG, the others as bitmaps with
// a mask.
TEST_F(Resources, IconGroupsHoldSixImagesEach) {
    std::vector<std::pair<size_t, uLong>> firstGroupImages; // size and CRC of each image
    for (WORD group : {100, 101}) {
        SCOPED_TRACE(group);
        const std::vector<uint8_t> directory = resource(RT_GROUP_ICON, group);
        ASSERT_GE(directory.size(), 6u) << "no icon group " << group;
        const WORD* head = (const WORD*)directory.data();
        EXPECT_EQ(head[0], 0);
        EXPECT_EQ(head[1], 1);
        ASSERT_EQ(head[2], 6);
        ASSERT_GE(directory.size(), 6 + 6 * sizeof(GroupEntry));
        const GroupEntry* entries = (const GroupEntry*)(directory.data() + 6);
        std::vector<std::pair<size_t, uLong>> images;
        std::multiset<int> sizes;
        for (int i = 0; i < 6; i++) {
            const GroupEntry& entry = entries[i];
            const int size = entry.width ? entry.width : 256;
            sizes.insert(size);
            SCOPED_TRACE(size);
            EXPECT_EQ(entry.height ? entry.height : 256, size);
            EXPECT_EQ(entry.bitCount, 32);
            const std::vector<uint8_t> image = resource(RT_ICON, entry.id);
            ASSERT_FALSE(image.empty()) << "icon image " << entry.id << " missing";
            EXPECT_EQ(image.size(), entry.bytes);
            if (size == 256) {
                static const uint8_t png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
                ASSERT_GE(image.size(), 24u);
                EXPECT_EQ(memcmp(image.data(), png, 8), 0) << "the 256 image is not a PNG";
                const uint8_t* ihdr = image.data() + 16;
                EXPECT_EQ(ihdr[0] << 24 | ihdr[1] << 16 | ihdr[2] << 8 | ihdr[3], 256);
                EXPECT_EQ(ihdr[4] << 24 | ihdr[5] << 16 | ihdr[6] << 8 | ihdr[7], 256);
            } else {
                ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
                const BITMAPINFOHEADER* header = (const BITMAPINFOHEADER*)image.data();
                EXPECT_EQ(header->biSize, 40u);
                EXPECT_EQ(header->biWidth, size);
                EXPECT_EQ(header->biHeight, 2 * size) << "colour and mask";
                EXPECT_EQ(header->biBitCount, 32);
                const size_t maskRow = (size_t)((size + 31) / 32 * 4);
                EXPECT_GE(image.size(), 40 + (size_t)size * size * 4 + maskRow * size);
            }
            HICON icon = CreateIconFromResourceEx((PBYTE)image.data(), (DWORD)image.size(), TRUE,
                                                  0x00030000, size, size, LR_DEFAULTCOLOR);
            EXPECT_NE(icon, nullptr) << "the system cannot read the image";
            if (icon) {
                DestroyIcon(icon);
            }
            images.push_back({image.size(), crc32(0, image.data(), (uInt)image.size())});
        }
        EXPECT_EQ(sizes, (std::multiset<int>{16, 32, 48, 64, 128, 256}));
        std::sort(images.begin(), images.end());
        if (firstGroupImages.empty()) {
            firstGroupImages = images;
        } else {
            EXPECT_EQ(images, firstGroupImages) << "the groups hold different images";
        }
    }
}

TEST_F(Resources, NoManifest) {
    EXPECT_EQ(FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST), nullptr);
    EXPECT_EQ(FindResourceW(module, MAKEINTRESOURCEW(2), RT_MANIFEST), nullptr);
}

std::wstring versionString(const std::vector<uint8_t>& block, const wchar_t* name) {
    const std::wstring path = std::wstring(L"\\StringFileInfo\\040904e4\\") + name;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), path.c_str(), &value, &length) || !value) {
        return L"(missing)";
    }
    return (const wchar_t*)value;
}

TEST(Binary, VersionBlock) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(hostPaths.saver.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version block";
    std::vector<uint8_t> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(hostPaths.saver.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", (void**)&fixed, &length));
    ASSERT_GE(length, sizeof *fixed);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    const DWORD mostSignificant =
        VOIDRUNNER_EXPECTED_VERSION_MAJOR << 16 | VOIDRUNNER_EXPECTED_VERSION_MINOR;
    const DWORD leastSignificant = VOIDRUNNER_EXPECTED_VERSION_PATCH << 16;
    EXPECT_EQ(fixed->dwFileVersionMS, mostSignificant);
    EXPECT_EQ(fixed->dwFileVersionLS, leastSignificant);
    EXPECT_EQ(fixed->dwProductVersionMS, mostSignificant);
    EXPECT_EQ(fixed->dwProductVersionLS, leastSignificant);
    EXPECT_EQ(fixed->dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, 0x40004u);
    EXPECT_EQ(fixed->dwFileType, 1u);
    EXPECT_EQ(fixed->dwFileSubtype, 0u);

    WORD* translation = nullptr;
    ASSERT_TRUE(
        VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", (void**)&translation, &length));
    ASSERT_EQ(length, 4u) << "one translation entry";
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 0x04e4);

    EXPECT_EQ(versionString(block, L"CompanyName"), L"KESTRAMINE");
    EXPECT_EQ(versionString(block, L"FileDescription"),
              L"Voidrunner 3D - native starfield and Windows screen saver");
    EXPECT_EQ(versionString(block, L"FileVersion"), L"" VOIDRUNNER_EXPECTED_VERSION ".0");
    EXPECT_EQ(versionString(block, L"InternalName"), L"Voidrunner3D");
    EXPECT_EQ(versionString(block, L"ProductName"), L"Voidrunner 3D");
    EXPECT_EQ(versionString(block, L"ProductVersion"), L"" VOIDRUNNER_EXPECTED_VERSION ".0");
    for (const wchar_t* name : {L"LegalCopyright", L"OriginalFilename"}) {
        const std::wstring value = versionString(block, name);
        EXPECT_FALSE(value.empty() || value == L"(missing)") << "no " << name;
    }
}

} // namespace
