#include "player/nowplaying.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "fake_player.h"
#include "wire/tagged_packet.h"

namespace {

struct NowPlaying : ::testing::Test {
    std::unique_ptr<NowPlayingBlock> block = std::make_unique<NowPlayingBlock>();
    FakePlayer player;

    void SetUp() override { InitNewBlock(*block); }

    void Fill(int n, const std::string& prefix = "C:\\m\\") {
        for (int i = 0; i < n; ++i)
            player.playlist.push_back(
                {prefix + std::to_string(i) + ".mp3", "Song " + std::to_string(i)});
    }

    // Parses the exported packet back, checking its size header against playlistSize.
    void Exported(CTaggedPacket& out) {
        ASSERT_LE(block->playlistSize, kPlaylistPacketRoom);
        const uint16_t header = block->playlistPacket[0] | (block->playlistPacket[1] << 8);
        ASSERT_EQ(header, block->playlistSize);
        ASSERT_TRUE(out.Parse(block->playlistPacket, block->playlistSize));
    }
};

std::string Text(const TaggedField* f) {
    return std::string(reinterpret_cast<char*>(f->data), f->length);
}

TEST_F(NowPlaying, ANewBlockKeepsWhatThePlayerWroteBeforeItsCreatorMappedIt) {
    // The player opened the agent's new block first and wrote its window and
    // entry; the creator's start wipes neither, and the next update rewrites
    // the texts although the position did not move.
    Fill(2);
    player.position = 0;
    block->hwndPlayer = 0x10054;
    UpdateNowPlaying(block.get(), player);
    InitNewBlock(*block);
    EXPECT_EQ(block->hwndPlayer, 0x10054u);
    EXPECT_STREQ(block->title, "Song 0");
    std::strcpy(block->title, "stale");
    UpdateNowPlaying(block.get(), player);
    EXPECT_EQ(block->listPosition, 0);
    EXPECT_STREQ(block->title, "Song 0");
}

TEST_F(NowPlaying, UpdateWritesOnlyWhenThePositionMoves) {
    Fill(3);
    player.position = 1;
    UpdateNowPlaying(block.get(), player);
    EXPECT_EQ(block->listPosition, 1);
    EXPECT_STREQ(block->fileName, "C:\\m\\1.mp3");
    EXPECT_STREQ(block->title, "Song 1");

    // Same position, replaced playlist: nothing is asked beyond the position.
    player.playlist[1] = {"other.mp3", "Other"};
    player.asked.clear();
    UpdateNowPlaying(block.get(), player);
    EXPECT_STREQ(block->fileName, "C:\\m\\1.mp3");
    EXPECT_EQ(player.asked.count(wa::IPC_GETPLAYLISTFILE), 0u);

    player.position = 2;
    UpdateNowPlaying(block.get(), player);
    EXPECT_STREQ(block->title, "Song 2");
}

TEST_F(NowPlaying, UpdateZeroFillsCutsLongNamesAndKeepsTextsThePlayerLacks) {
    player.playlist = {{std::string(300, 'n'), "t"}, {"short", "x"}};
    player.position = 0;
    UpdateNowPlaying(block.get(), player);
    EXPECT_EQ(std::strlen(block->fileName), 259u);
    EXPECT_EQ(block->fileName[259], 0);

    player.position = 1;
    UpdateNowPlaying(block.get(), player);
    EXPECT_STREQ(block->fileName, "short");
    for (size_t i = 5; i < kNowPlayingTextRoom; ++i)
        ASSERT_EQ(block->fileName[i], 0) << i;

    // A position the player has no entry for: position stored, texts kept.
    player.position = 7;
    UpdateNowPlaying(block.get(), player);
    EXPECT_EQ(block->listPosition, 7);
    EXPECT_STREQ(block->fileName, "short");
    EXPECT_STREQ(block->title, "x");
}

TEST_F(NowPlaying, ExportOfEmptyPlaylistIsTheCountAlone) {
    EXPECT_EQ(ExportPlaylist(block.get(), player), 1);
    EXPECT_EQ(block->playlistSize, 6u);
    const uint8_t expected[] = {6, 0, 4, 0, 0, '0'};
    EXPECT_EQ(std::memcmp(block->playlistPacket, expected, sizeof expected), 0);
    EXPECT_EQ(block->listPosition, -1); // the export leaves the update's fields alone
}

TEST_F(NowPlaying, ExportTagsWrapAfter255Entries) {
    Fill(300, "");
    ExportPlaylist(block.get(), player);
    CTaggedPacket p;
    Exported(p);
    int index = -1; // -1 is the count field
    for (const TaggedField* f = p.First(); f; f = f->next, ++index) {
        if (index < 0) {
            EXPECT_EQ(f->tag, 0);
            EXPECT_EQ(Text(f), "300");
        } else {
            ASSERT_EQ(f->tag, (index + 1) % 256) << index;
            ASSERT_EQ(Text(f), std::to_string(index) + ".mp3");
        }
    }
    EXPECT_EQ(index, 300);
}

TEST_F(NowPlaying, ExportStopsAtTheFirstNameThatDoesNotFit) {
    // 2 + 5 (count "51") + k * (100 + 3) <= 5120 holds up to k = 49 names.
    for (int i = 0; i < 50; ++i)
        player.playlist.push_back({std::string(100, 'a' + i % 26), ""});
    player.playlist.push_back({"x", ""}); // short, but after the first that did not fit
    ExportPlaylist(block.get(), player);
    CTaggedPacket p;
    Exported(p);
    int names = 0;
    for (const TaggedField* f = p.First()->next; f; f = f->next)
        ++names;
    EXPECT_EQ(names, 49);
    EXPECT_EQ(Text(p.FindField(0)), "51");
    EXPECT_EQ(block->playlistSize, 2u + 5 + 49 * 103);

    // A name that exactly fills the room is still carried whole.
    player.playlist = {{std::string(5120 - 2 - 4 - 3, 'q'), ""}};
    ExportPlaylist(block.get(), player);
    EXPECT_EQ(block->playlistSize, 5120u);
}

TEST_F(NowPlaying, WritersSkipAMissingBlockAndMissingNames) {
    Fill(2);
    UpdateNowPlaying(nullptr, player);
    EXPECT_EQ(ExportPlaylist(nullptr, player), 1);

    player.listLengthOverride = 4; // two indexes without a name
    ExportPlaylist(block.get(), player);
    CTaggedPacket p;
    Exported(p);
    EXPECT_EQ(Text(p.FindField(0)), "4");
    EXPECT_NE(p.FindField(2), nullptr);
    EXPECT_EQ(p.FindField(3), nullptr);
}

} // namespace
