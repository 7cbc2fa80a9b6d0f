// The browser's commands as data: the entries of its two context menus with
// their greyed states, what "Open shared directory" opens, and what the
// "Change user group" field accepts. The shell builds the menus from these.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/menu_entry.h"
#include "wire/peer_record.h"

// The header's menu.
constexpr unsigned kSortAscending = 1;
constexpr unsigned kSortDescending = 2;
constexpr unsigned kSelectColumnsCommand = 4;
std::vector<MenuEntry> HeaderMenuEntries();

// A computer row's menu: the file and folder entries are greyed while its
// shared file cannot be reached from here.
constexpr unsigned kPlayTheFile = 1;
constexpr unsigned kOpenSharedDirectory = 2;
constexpr unsigned kGetPlaylist = 3;
std::vector<MenuEntry> PeerMenuEntries(const PeerRecord& record);

// Every character of `path` before its last backslash, at most 255; empty
// when there is none.
std::string DirectoryPart(const std::string& path);

// The user group typed into "Change user group": decimal text read as the
// platform's atoi reads it (blanks, a sign, digits; no digits give 0),
// accepted only from 0 to 255. False keeps the dialog open.
bool ParseUserGroup(const char* text, uint8_t& group);
