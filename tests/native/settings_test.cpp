#include "browser/settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

namespace {

// An INI file in memory, cutting values as the private-profile calls do.
struct FakeStore : ProfileStore {
    std::map<std::string, std::string> values; // "SECTION/KEY" -> value
    int writes = 0;
    bool writable = true;

    void GetString(const char* section, const char* key, const char* def, char* out,
                   size_t room) override {
        auto it = values.find(std::string(section) + "/" + key);
        const std::string v = it == values.end() ? def : it->second;
        const size_t n = std::min(v.size(), room - 1);
        std::memcpy(out, v.data(), n);
        out[n] = 0;
    }
    bool PutString(const char* section, const char* key, const char* value) override {
        ++writes;
        if (writable) values[std::string(section) + "/" + key] = value;
        return writable;
    }
};

std::string Col(const ColumnSettings& c) {
    return std::to_string(c.visible) + "|" + std::to_string(c.position) + "|" +
           std::to_string(c.sortMark) + "|" + std::to_string(c.width);
}

TEST(Settings, NoFileGivesTheDefaults) {
    FakeStore store;
    CBrowserSettings s;
    load(s, store);
    EXPECT_EQ(s.userGroup, 100);
    EXPECT_STREQ(s.groupAddress, "225.5.5.0:5145");
    EXPECT_EQ(s.windowRect.right, 0);
    EXPECT_STREQ(s.columns[2].title, "User name");
    EXPECT_EQ(Col(s.columns[1]) + " " + Col(s.columns[2]) + " " + Col(s.columns[3]) + " " +
                  Col(s.columns[4]),
              "1|1|0|70 1|2|0|100 1|3|0|125 1|4|0|45");
}

TEST(Settings, ValuesAndGarbage) {
    const struct {
        const char* key;
        std::string value;
        int userGroup;
        const char* title; // the COL_TITLE record after loading
    } cases[] = {
        {"MAIN/CHANNEL", "300", 44, "1|3|0|125"},
        {"MAIN/CHANNEL", "-1", 255, "1|3|0|125"},
        {"MAIN/CHANNEL", "abc", 0, "1|3|0|125"},
        {"MAIN/CHANNEL", std::string(400, '9'), 255, "1|3|0|125"}, // held at 2^31 - 1
        {"COLUMNS/COL_TITLE", "0|3|2|80", 100, "0|3|2|80"},
        {"COLUMNS/COL_TITLE", "5|0|7|60", 100, "1|0|0|60"},
        {"COLUMNS/COL_TITLE", "1|2|1", 100, "1|3|0|125"}, // all four fields or nothing
        {"COLUMNS/COL_TITLE", "1|2", 100, "1|3|0|125"},
        {"COLUMNS/col_title", "0|0|0|0", 100, "1|3|0|125"}, // another key
        {"COLUMNS/COL_TITLE", " -4 |258| 2|33px|x", 100, "0|2|2|33"},
        {"COLUMNS/COL_TITLE", "1|1|1|-30", 100, "1|1|1|0"}, // no negative widths
        {"COLUMNS/COL_TITLE", std::string(49, ' ') + "1|1|1|1", 100, "0|1|1|1"}, // 49 characters
        {"COLUMNS/COL_TITLE", std::string(5000, '|'), 100, "0|0|0|0"},
    };
    for (const auto& c : cases) {
        FakeStore store;
        store.values[c.key] = c.value;
        CBrowserSettings s;
        load(s, store);
        EXPECT_EQ(s.userGroup, c.userGroup) << c.value;
        EXPECT_EQ(Col(s.columns[3]), c.title) << c.value;
        EXPECT_EQ(Col(s.columns[1]), "1|1|0|70") << c.value;
    }
    FakeStore store;
    store.values["MAIN/BROADCAST_IP"] = std::string(300, '7');
    store.values["MAIN/LEFT"] = "-20";
    store.values["MAIN/TOP"] = "x";
    CBrowserSettings s;
    load(s, store);
    EXPECT_EQ(std::string(s.groupAddress), std::string(29, '7'));
    EXPECT_EQ(s.windowRect.left, -20);
    EXPECT_EQ(s.windowRect.top, 0);
}

TEST(Settings, SaveWritesAllButTheGroupAddressAndLoadsBack) {
    CBrowserSettings s;
    s.userGroup = 7;
    s.windowRect = {-5, 6, 300, 200};
    s.columns[1].sortMark = 2;
    s.columns[2].sortMark = 5; // not a direction
    s.columns[3] = {"COL_TITLE", "Title", 0, 0, 1, 80, 3};
    std::strcpy(s.groupAddress, "239.1.2.3:6000");
    FakeStore store;
    EXPECT_TRUE(save(s, store));
    EXPECT_EQ(store.values, (std::map<std::string, std::string>{
                                {"MAIN/LEFT", "-5"},
                                {"MAIN/TOP", "6"},
                                {"MAIN/RIGHT", "300"},
                                {"MAIN/BOTTOM", "200"},
                                {"MAIN/CHANNEL", "7"},
                                {"COLUMNS/COL_COMP_NAME", "1|1|2|70"},
                                {"COLUMNS/COL_USER_NAME", "1|2|0|100"},
                                {"COLUMNS/COL_TITLE", "0|0|1|80"},
                                {"COLUMNS/COL_SHARED", "1|4|0|45"},
                            }));
    CBrowserSettings back;
    load(back, store);
    EXPECT_EQ(back.windowRect.left, -5);
    EXPECT_EQ(back.userGroup, 7);
    EXPECT_EQ(Col(back.columns[3]), "0|0|1|80");

    // An unwritable file: every value is still tried, and the failure told.
    store.writable = false;
    store.writes = 0;
    EXPECT_FALSE(save(s, store));
    EXPECT_EQ(store.writes, 9);
}

TEST(Settings, FileLiesInThePluginsFolderBesideTheHost) {
    EXPECT_EQ(SettingsFilePath("C:\\Program Files\\Winamp\\winamp.exe"),
              "C:\\Program Files\\Winamp\\Plugins\\gen_orvela.ini");
    EXPECT_EQ(SettingsFilePath("winamp.exe"), "");
}

} // namespace
