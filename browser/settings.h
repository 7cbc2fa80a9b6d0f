// The browser's settings: its columns, the multicast group text, the user
// group and the window rectangle, kept in gen_orvela.ini beside the player.
// Loading and saving go through a profile store (get / put one string), so
// the parsing rules run the same against the real file and a test's map.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/profile.h"
#include "wire/group.h"

constexpr size_t kColumnTextRoom = 60;
constexpr int kColumnRecords = 5; // record 0: the unnamed fallback; 1..4: the list's columns

struct ColumnSettings {
    char key[kColumnTextRoom] = {};   // the key in the file and the column's identity
    char title[kColumnTextRoom] = {}; // header text
    int32_t visible = 1;              // 1 shown, 0 hidden
    uint8_t position = 0;             // display order in the header
    int32_t sortMark = 0;             // 0 never sorted, 1 ascending, 2 descending
    int32_t width = 0;                // pixels
    int32_t listIndex = 0;            // index in the list control while shown; never stored
};

struct SettingsRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

class CBrowserSettings {
  public:
    CBrowserSettings();
    virtual ~CBrowserSettings() = default;
    CBrowserSettings(const CBrowserSettings&) = default;
    CBrowserSettings& operator=(const CBrowserSettings&) = default;

    ColumnSettings columns[kColumnRecords];
    char groupAddress[kGroupAddressRoom] = {}; // "host:port", at most 29 characters
    uint8_t userGroup = 0;
    SettingsRect windowRect;
};

// The keys of the four named columns, in record order 1..4.
constexpr const char* kColumnKeys[4] = {"COL_COMP_NAME", "COL_USER_NAME", "COL_TITLE",
                                        "COL_SHARED"};

// Fills the record from the store. Absent or unreadable values leave the
// defaults; nothing is reported.
void load(CBrowserSettings& settings, ProfileStore& store);

// Writes the window rectangle, the user group and the four columns (never
// BROADCAST_IP, never record 0). Every value is attempted; false when any
// could not be written.
bool save(const CBrowserSettings& settings, ProfileStore& store);
