// The cost of a peer's routine announcement: the same texts again, from the
// last row of a table of 10, 100 or 1000 computers (the walk's worst case).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "peers/peer_table.h"

namespace {

class VectorRows : public PeerRows {
  public:
    std::vector<std::unique_ptr<PeerRecord>> rows;
    int Count() const override { return static_cast<int>(rows.size()); }
    PeerRecord* RecordAt(int row) const override { return rows[static_cast<size_t>(row)].get(); }
    int Append(PeerRecord* record) override {
        rows.emplace_back(record);
        return Count() - 1;
    }
    void Remove(int row) override {
        rows[static_cast<size_t>(row)].release();
        rows.erase(rows.begin() + row);
    }
    void RemoveAll() override {
        for (auto& r : rows)
            r.release();
        rows.clear();
    }
    void SetRowTexts(int, const PeerRecord&) override {}
    void RedrawVisibleRows() override {}
};

std::unique_ptr<PeerRecord> Announcement(int i) {
    auto r = std::make_unique<PeerRecord>();
    std::snprintf(r->address, sizeof r->address, "10.0.%d.%d", i / 256, i % 256);
    std::snprintf(r->computerName, sizeof r->computerName, "PC%d", i);
    std::snprintf(r->userName, sizeof r->userName, "user%d", i);
    std::snprintf(r->title, sizeof r->title, "Artist %d - A title of usual length", i);
    std::snprintf(r->sharedPath, sizeof r->sharedPath, "D:\\Music\\Artist %d\\track.mp3", i);
    r->port = 5146;
    return r;
}

void UnchangedAnnouncement(benchmark::State& state) {
    VectorRows rows;
    uint32_t now = 0;
    int activeRow = -1;
    PeerTable table(
        rows, [&] { return now; }, [](const char*, const char*) { return 1; }, activeRow);
    const int count = static_cast<int>(state.range(0));
    for (int i = 0; i < count; ++i)
        table.OnPeerAnnounced(Announcement(i));
    const PeerRecord last = *Announcement(count - 1);
    for (auto _ : state) {
        ++now;
        // The receiver hands over a fresh heap record for every datagram.
        table.OnPeerAnnounced(std::make_unique<PeerRecord>(last));
    }
    benchmark::DoNotOptimize(rows.rows.back()->lastHeard);
}
BENCHMARK(UnchangedAnnouncement)->Arg(10)->Arg(100)->Arg(1000);

} // namespace
