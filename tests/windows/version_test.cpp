// Every deliverable carries the project's one version number in its version
// resource: the delivered 32-bit binaries, the tested ones and the installer;
// every program carries the manifest that keeps it out of the VirtualStore.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

std::string FileVersion(const std::string& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (!size) return "no version resource";
    std::vector<char> data(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data()) ||
        !VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &length) || !info)
        return "unreadable";
    return std::to_string(HIWORD(info->dwFileVersionMS)) + "." +
           std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
           std::to_string(HIWORD(info->dwFileVersionLS));
}

TEST(VersionResource, EveryDeliverableCarriesTheProjectVersion) {
    const std::string win32 = "Z:" ORVELA_WIN32_BIN "/";
    for (const std::string& path :
         {win32 + "gen_orvela.dll", win32 + "in_orvela.dll", win32 + "orvela_agent.exe",
          std::string("gen_orvela.dll"), std::string("in_orvela.dll"),
          std::string("orvela_agent.exe"), std::string("Z:" ORVELA_TEST_INSTALLER)})
        EXPECT_EQ(FileVersion(path), ORVELA_VERSION) << path;
    for (const std::string& path : {win32 + "orvela_agent.exe", win32 + "start_as_user.exe"}) {
        EXPECT_EQ(FileVersion(path), ORVELA_VERSION) << path;
        const HMODULE image = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        const HRSRC found =
            image ? FindResourceA(image, MAKEINTRESOURCEA(1), RT_MANIFEST) : nullptr;
        const char* text =
            found ? static_cast<const char*>(LockResource(LoadResource(image, found))) : nullptr;
        const std::string manifest = text ? std::string(text, SizeofResource(image, found)) : "";
        for (const char* says :
             {"level=\"asInvoker\"", "PerMonitorV2", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
            EXPECT_NE(manifest.find(says), std::string::npos) << path << " lacks " << says;
        if (image) FreeLibrary(image);
    }
}

} // namespace
