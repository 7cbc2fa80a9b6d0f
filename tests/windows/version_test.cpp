// Every deliverable carries the project's one version number in its version
// resource: the delivered 32-bit binaries, the tested ones and the installer.
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
}

} // namespace
