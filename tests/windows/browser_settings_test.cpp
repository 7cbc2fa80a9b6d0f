// Bad settings files: garbage, overlong values, missing sections, and
// locations that cannot be written. The browser opens with what is valid,
// and a save never costs the file anything that is not ours.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "tests/emulator/emulator.h"
#include "tests/windows/browser_support.h"

namespace {

using namespace browser_test;

struct BadSettings : ::testing::Test {
    PlayerEmulator player{{PlayerEmulator::FileMenu::WithSeparator, true}};

    void TearDown() override {
        player.QuitGeneralPlugin();
        player.DestroyFrames();
        RemoveSettings();
    }
    // Loads the plug-in and opens the browser; the dialog, or null.
    HWND Open() {
        if (!player.LoadGeneralPlugin("gen_orvela.dll")) return nullptr;
        SendMessageA(player.MainWindow(), WM_COMMAND, MAKEWPARAM(1, 0), 0);
        auto d = DialogChildren(player.Frame());
        return d.empty() ? nullptr : d.front();
    }
    std::vector<std::string> Titles(HWND dialog) {
        std::vector<std::string> out;
        for (const Column& c : ShownColumns(GetDlgItem(dialog, 1007)))
            out.push_back(c.title);
        return out;
    }
};

using Names = std::vector<std::string>;

TEST_F(BadSettings, GarbageInEveryKeyLoadsWhatIsValidAndSavesWithoutLosingOtherKeys) {
    ResetSettings("\xEF\xBB\xBFjunk before any section\r\n"
                  "[MAIN]\r\n"
                  "CHANNEL=abc\r\n"
                  "BROADCAST_IP=not an address\r\n"
                  "LEFT=--5\r\nTOP=\x01\x02\r\nRIGHT=2147483647\r\nBOTTOM=-2147483648\r\n"
                  "a line without an equals sign\r\n"
                  "FOREIGN=kept\r\n"
                  "[COLUMNS]\r\n"
                  "COL_COMP_NAME=garbage\r\n"
                  "COL_USER_NAME=1|2\r\n"
                  "COL_TITLE=|||\r\n" // four empty fields: hidden, position 0, width 0
                  "COL_SHARED=\xFF\xFE|x|y|z\r\n"
                  "[OTHER]\r\nKEY=value\r\n");
    HWND dialog = Open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(WindowText(GetDlgItem(dialog, 1009)), "[user group : 0]");
    EXPECT_EQ(Titles(dialog), (Names{"Computer", "User name"}));

    player.DestroyFrames();
    EXPECT_EQ(Setting("MAIN", "CHANNEL"), "0");
    EXPECT_EQ(Setting("COLUMNS", "COL_COMP_NAME"), "1|0|0|70");
    EXPECT_EQ(Setting("COLUMNS", "COL_USER_NAME"), "1|1|0|100");
    EXPECT_EQ(Setting("COLUMNS", "COL_TITLE"), "0|0|0|0");
    EXPECT_EQ(Setting("COLUMNS", "COL_SHARED"), "0|0|0|0");
    EXPECT_EQ(Setting("MAIN", "BROADCAST_IP"), "not an address");
    EXPECT_EQ(Setting("MAIN", "FOREIGN"), "kept");
    EXPECT_EQ(Setting("OTHER", "KEY"), "value");
}

TEST_F(BadSettings, OverlongValuesAreCutOrHeldAtTheirLimits) {
    const std::string address(400, '7'), hugeWidth = "1|2|1|" + std::string(1000, '9');
    const std::string file = "[MAIN]\r\nCHANNEL=" + std::string(5000, '9') +
                             "\r\nBROADCAST_IP=" + address + "\r\nTOP=" + std::string(300, '-') +
                             "\r\n[COLUMNS]\r\nCOL_TITLE=" + hugeWidth + "\r\nCOL_USER_NAME=0" +
                             std::string(70000, ' ') + "|1|1|1\r\n";
    ResetSettings(file.c_str());
    HWND dialog = Open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(WindowText(GetDlgItem(dialog, 1009)), "[user group : 255]");
    // The width text is cut by the 256-byte read and held at 2^31 - 1 by the
    // conversion; the list takes no more than 32767.
    const auto columns = ShownColumns(GetDlgItem(dialog, 1007));
    ASSERT_EQ(columns.size(), 4u) << "the overlong COL_USER_NAME was cut before its bars";
    EXPECT_EQ(columns[2].title, "Title");
    EXPECT_EQ(columns[2].width, 32767);

    player.DestroyFrames();
    EXPECT_EQ(Setting("MAIN", "CHANNEL"), "255");
    EXPECT_EQ(Setting("MAIN", "BROADCAST_IP"), address) << "never written";
    EXPECT_EQ(Setting("COLUMNS", "COL_TITLE"), "1|2|1|32767");
    EXPECT_EQ(Setting("COLUMNS", "COL_USER_NAME"), "1|1|0|100");
}

TEST_F(BadSettings, MissingSectionsGiveTheirDefaults) {
    ResetSettings("[COLUMNS]\r\nCOL_COMP_NAME=0|1|0|70\r\n");
    HWND dialog = Open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(WindowText(GetDlgItem(dialog, 1009)), "[user group : 100]");
    EXPECT_EQ(Titles(dialog), (Names{"User name", "Title", "Shared"}));
    player.DestroyFrames();
    EXPECT_EQ(Setting("MAIN", "CHANNEL"), "100");
    EXPECT_EQ(Setting("COLUMNS", "COL_COMP_NAME"), "0|1|0|70");
}

TEST_F(BadSettings, AFileThatCannotBeWrittenIsReadAndLeftAsItWas) {
    const char* content = "[MAIN]\r\nCHANNEL=9\r\n[COLUMNS]\r\nCOL_SHARED=0|4|0|45\r\n";
    ResetSettings(content);
    // Another program holds the file open and denies writing (Wine running
    // as root would not honour a read-only attribute).
    HANDLE lock = CreateFileA(SettingsPath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    HWND dialog = Open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(WindowText(GetDlgItem(dialog, 1009)), "[user group : 9]");
    EXPECT_EQ(Titles(dialog), (Names{"Computer", "User name", "Title"}));
    SendMessageA(GetDlgItem(dialog, 1007), LVM_SETCOLUMNWIDTH, 0, 33);
    player.DestroyFrames();
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(ReadFileBytes(SettingsPath()), content);
    CloseHandle(lock);
}

TEST_F(BadSettings, AnUnwritableLocationGivesDefaultsAndSavesNothing) {
    // "Plugins" is a file here, so the settings file can neither be read
    // nor created.
    RemoveSettings();
    RemoveDirectoryA(PluginsDir().c_str());
    WriteFileBytes(PluginsDir(), "not a folder");
    HWND dialog = Open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(WindowText(GetDlgItem(dialog, 1009)), "[user group : 100]");
    EXPECT_EQ(Titles(dialog), (Names{"Computer", "User name", "Title", "Shared"}));
    player.DestroyFrames();
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(ReadFileBytes(PluginsDir()), "not a folder");
}

} // namespace
