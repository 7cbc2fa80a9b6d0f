// The user group's multicast group: the BROADCAST_IP and CHANNEL keys that
// the browser's and the agent's settings files both carry, and the group
// address and port they select. Every program reads them through here, so
// the browser and the agent always meet on the same group.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/profile.h"
#include "wire/peer_record.h"

// Room of the BROADCAST_IP text ("host:port") and of its two parts.
constexpr size_t kGroupAddressRoom = 30;
constexpr size_t kGroupHostRoom = 19;
constexpr size_t kGroupPortRoom = 9;

// Writes a host-order address as dotted decimal (at most 15 characters).
void FormatIpv4(uint32_t hostOrder, char (&out)[kPeerAddressRoom]);

struct PresenceGroup {
    uint32_t address = 0; // host byte order
    uint16_t port = 0;
    char text[16] = {}; // the group in dotted form, e.g. "225.5.5.100"
};

// The group that a BROADCAST_IP text ("host:port") and a user group select:
// the host's last number is replaced by the user group; an unusable host
// (missing, not dotted IPv4, longer than 19 characters) gives 225.5.5.0, and
// a port that is missing, 0 or longer than 9 characters gives 5145.
PresenceGroup ComputePresenceGroup(std::string_view addressText, uint8_t userGroup);

// The group keys alone (CHANNEL, BROADCAST_IP of section MAIN) with their
// defaults: the browser's and the agent's settings files carry the same
// two keys, read the same way.
void LoadGroupSettings(ProfileStore& store, char (&groupAddress)[kGroupAddressRoom],
                       uint8_t& userGroup);

// Writes CHANNEL alone: a group the user chose is in the file at once, where
// the agent of the same computer follows it. False when it was not written.
bool SaveUserGroup(ProfileStore& store, uint8_t userGroup);

// The browser's settings file, where the player's group is kept:
// "<directory of the host's executable>\Plugins\gen_orvela.ini" from the
// executable's file name; empty when that name holds no directory, since a
// bare file name would make the profile calls use the Windows directory.
std::string SettingsFilePath(std::string_view hostExecutable);
