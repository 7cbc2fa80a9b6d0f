#include "browser/settings.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/text.h"
#include "peers/presence.h"
#include "wire/protocol.h"

namespace {

constexpr const char* kMain = "MAIN";
constexpr const char* kColumns = "COLUMNS";
constexpr size_t kColumnFieldChars = 49; // each of the first three numbers of a column value

template <size_t N> void CopyCut(char (&room)[N], const char* text) {
    std::memset(room, 0, N);
    std::memcpy(room, text, strnlen(text, N - 1));
}

void SetColumn(ColumnSettings& c, const char* key, const char* title, int32_t position,
               int32_t width) {
    CopyCut(c.key, key);
    CopyCut(c.title, title);
    c.visible = 1;
    c.position = static_cast<uint8_t>(position);
    c.sortMark = 0;
    c.width = width;
    c.listIndex = 0;
}

int32_t ReadNumber(ProfileStore& store, const char* key, const char* def) {
    char value[kProfileValueRoom] = {};
    store.GetString(kMain, key, def, value, sizeof value);
    return ParseDecimal(value);
}

// "visible|position|sortMark|width"; the record changes only when all four
// fields are there.
void LoadColumn(ColumnSettings& c, const char* value) {
    const char* bar1 = std::strchr(value, '|');
    const char* bar2 = bar1 ? std::strchr(bar1 + 1, '|') : nullptr;
    const char* bar3 = bar2 ? std::strchr(bar2 + 1, '|') : nullptr;
    if (!bar3) return;
    auto field = [](const char* from, const char* to) {
        return ParseDecimal(from, std::min(static_cast<size_t>(to - from), kColumnFieldChars));
    };
    const int32_t visible = field(value, bar1);
    const int32_t position = field(bar1 + 1, bar2);
    const int32_t sortMark = field(bar2 + 1, bar3);
    const int32_t width = ParseDecimal(bar3 + 1);
    c.visible = visible > 0 ? 1 : 0;
    c.position = static_cast<uint8_t>(position);
    c.sortMark = sortMark == 1 || sortMark == 2 ? sortMark : 0;
    // Widths are saved unsigned; a negative one would come back as 2^31 - 1.
    c.width = std::max<int32_t>(width, 0);
    c.listIndex = 0;
}

} // namespace

CBrowserSettings::CBrowserSettings() {
    SetColumn(columns[0], "", "", 0, 0);
    SetColumn(columns[1], kColumnKeys[0], "Computer", 1, 70);
    SetColumn(columns[2], kColumnKeys[1], "User name", 2, 100);
    SetColumn(columns[3], kColumnKeys[2], "Title", 3, 125);
    SetColumn(columns[4], kColumnKeys[3], "Shared", 4, 45);
    std::snprintf(groupAddress, sizeof groupAddress, "%s:%s", wire::kDefaultGroupHost,
                  wire::kDefaultGroupPort);
    userGroup = wire::kDefaultUserGroup;
}

void load(CBrowserSettings& s, ProfileStore& store) {
    LoadGroupSettings(store, s.groupAddress, s.userGroup);

    char value[kProfileValueRoom] = {};
    for (int i = 1; i < kColumnRecords; ++i) {
        std::memset(value, 0, sizeof value);
        store.GetString(kColumns, s.columns[i].key, "", value, sizeof value);
        if (value[0]) LoadColumn(s.columns[i], value);
    }

    s.windowRect.left = ReadNumber(store, "LEFT", "0");
    s.windowRect.top = ReadNumber(store, "TOP", "0");
    s.windowRect.right = ReadNumber(store, "RIGHT", "0");
    s.windowRect.bottom = ReadNumber(store, "BOTTOM", "0");
}

bool save(const CBrowserSettings& s, ProfileStore& store) {
    bool ok = true;
    char text[64];
    auto put = [&](const char* section, const char* key) {
        ok = store.PutString(section, key, text) && ok;
    };
    const std::pair<const char*, int32_t> rect[] = {{"LEFT", s.windowRect.left},
                                                    {"TOP", s.windowRect.top},
                                                    {"RIGHT", s.windowRect.right},
                                                    {"BOTTOM", s.windowRect.bottom}};
    for (const auto& [key, v] : rect) {
        std::snprintf(text, sizeof text, "%d", static_cast<int>(v));
        put(kMain, key);
    }
    std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(s.userGroup));
    put(kMain, "CHANNEL");

    for (int i = 1; i < kColumnRecords; ++i) {
        const ColumnSettings& c = s.columns[i];
        const int32_t sortMark = c.sortMark == 1 || c.sortMark == 2 ? c.sortMark : 0;
        std::snprintf(text, sizeof text, "%u|%u|%u|%u", static_cast<unsigned>(c.visible > 0),
                      static_cast<unsigned>(c.position), static_cast<unsigned>(sortMark),
                      static_cast<unsigned>(std::max<int32_t>(c.width, 0)));
        put(kColumns, c.key);
    }
    return ok;
}
