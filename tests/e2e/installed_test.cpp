// The saver as its Windows Installer package leaves it: in the system folder, where the
// screen-saver settings look for savers, and once in the list of installed apps. The package
// tests run these in a prefix of their own, after installing the package twice, with --saver
// naming the installed file.
#include <gtest/gtest.h>

#include <stdio.h>

#include "tests/e2e/host.h"

#include <msi.h> // after <windows.h>, which it needs

namespace {

const wchar_t uninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

std::wstring registryText(HKEY key, const wchar_t* name) {
    wchar_t value[1024] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, (BYTE*)value, &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return L"(missing)";
    }
    return value;
}

// The product codes of the installed apps listed under the saver's name, from the 64-bit view
// of the registry, which the list of installed apps reads for a 64-bit package.
std::vector<std::wstring> listedUnderTheSaversName() {
    std::vector<std::wstring> products;
    HKEY uninstall = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, uninstallKey, 0, KEY_READ | KEY_WOW64_64KEY,
                      &uninstall) != ERROR_SUCCESS) {
        return products;
    }
    wchar_t name[256];
    for (DWORD i = 0;; i++) {
        DWORD length = 256;
        if (RegEnumKeyExW(uninstall, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        HKEY entry = nullptr;
        if (RegOpenKeyExW(uninstall, name, 0, KEY_READ | KEY_WOW64_64KEY, &entry) ==
            ERROR_SUCCESS) {
            if (registryText(entry, L"DisplayName") == L"Voidrunner 3D") {
                products.push_back(name);
            }
            RegCloseKey(entry);
        }
    }
    RegCloseKey(uninstall);
    return products;
}

TEST(Installed, TheSettingsFindItInTheSystemFolderUnderItsDescription) {
    wchar_t system[MAX_PATH] = {};
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    const std::wstring installed = std::wstring(system) + L"\\voidrunner3d.scr";
    EXPECT_EQ(_wcsicmp(hostPaths.saver.c_str(), installed.c_str()), 0)
        << "the saver under test is not the installed one";

    // The settings list the .scr files of the system folder under each file's string 1.
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((std::wstring(system) + L"\\*.scr").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE) << "no saver in " << std::wstring(system);
    bool listed = false;
    do {
        listed = listed || _wcsicmp(found.cFileName, L"voidrunner3d.scr") == 0;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    EXPECT_TRUE(listed);

    HMODULE module = LoadLibraryExW(installed.c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr);
    wchar_t description[256] = {};
    LoadStringW(module, 1, description, 256);
    FreeLibrary(module);
    EXPECT_STREQ(description, L"Voidrunner 3D");
}

TEST(Installed, ListedOnceWithItsVersionPublisherAndIcon) {
    const std::vector<std::wstring> products = listedUnderTheSaversName();
    ASSERT_EQ(products.size(), 1u) << "listed " << products.size() << " times";
    const std::wstring path = std::wstring(uninstallKey) + L"\\" + products[0];
    HKEY entry = nullptr;
    ASSERT_EQ(
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &entry),
        ERROR_SUCCESS);
    EXPECT_EQ(registryText(entry, L"DisplayVersion"), L"" VOIDRUNNER_EXPECTED_VERSION);
    EXPECT_EQ(registryText(entry, L"Publisher"), L"KESTRAMINE");
    RegCloseKey(entry);

    // The list shows the icon that the installer keeps for the product.
    wchar_t icon[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    ASSERT_EQ(MsiGetProductInfoW(products[0].c_str(), INSTALLPROPERTY_PRODUCTICON, icon, &length),
              (UINT)ERROR_SUCCESS)
        << "no icon recorded";
    const std::vector<uint8_t> shown = readBytes(icon);
    EXPECT_FALSE(shown.empty()) << "no icon file at " << std::wstring(icon);
    EXPECT_TRUE(shown == readBytes(dosPathOf(VOIDRUNNER_SOURCE_ICON))) << "not the saver's icon";
}

} // namespace
