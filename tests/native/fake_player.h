// A scripted player for the portable core: a playlist and a position, answering
// the IPC numbers the plug-in asks, and counting what it was asked.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "player/player_ipc.h"
#include "sdk/wa_ipc.h"

struct FakeEntry {
    std::string file;
    std::string title;
};

class FakePlayer : public PlayerIpc {
  public:
    std::vector<FakeEntry> playlist;
    int position = 0;
    int listLengthOverride = -1; // >= 0: answer this length whatever the playlist holds
    std::map<int, int> asked;    // IPC number -> times asked

    intptr_t Send(int ipc, intptr_t data) override {
        ++asked[ipc];
        const auto index = static_cast<size_t>(data);
        switch (ipc) {
        case wa::IPC_GETLISTPOS:
            return position;
        case wa::IPC_GETLISTLENGTH:
            return listLengthOverride >= 0 ? listLengthOverride
                                           : static_cast<intptr_t>(playlist.size());
        case wa::IPC_GETPLAYLISTFILE:
            return data >= 0 && index < playlist.size()
                       ? reinterpret_cast<intptr_t>(playlist[index].file.c_str())
                       : 0;
        case wa::IPC_GETPLAYLISTTITLE:
            return data >= 0 && index < playlist.size()
                       ? reinterpret_cast<intptr_t>(playlist[index].title.c_str())
                       : 0;
        }
        return 0;
    }
};
