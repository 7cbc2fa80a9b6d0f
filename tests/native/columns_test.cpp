#include "browser/columns.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// A report-style list: columns in index order with their tags, and cells.
struct FakeList : ColumnList {
    struct Column {
        std::string title;
        int width, position;
        std::unique_ptr<ColumnTag> tag;
    };
    std::vector<Column> columns;
    std::vector<const PeerRecord*> rows;
    std::vector<std::vector<std::string>> cells; // [row][sub-item]
    int refusedDelete = -1;                      // the index the control will not delete
    bool refuseInsert = false;

    int HeaderCount() const override { return static_cast<int>(columns.size()); }
    const ColumnTag* HeaderTag(int i) const override { return columns.at(i).tag.get(); }
    bool InsertColumn(int index, const ColumnSettings& c, std::unique_ptr<ColumnTag> tag) override {
        if (refuseInsert) return false;
        columns.insert(columns.begin() + index,
                       Column{c.title, c.width, c.position, std::move(tag)});
        for (auto& row : cells)
            row.insert(row.begin() + index, "");
        return true;
    }
    bool DeleteColumn(int index) override {
        if (index == refusedDelete) return false;
        columns.erase(columns.begin() + index);
        for (auto& row : cells)
            row.erase(row.begin() + index);
        return true;
    }
    int RowCount() const override { return static_cast<int>(rows.size()); }
    const PeerRecord* RowRecord(int row) const override { return rows.at(row); }
    void SetCellText(int row, int subItem, const char* text) override {
        cells.at(row).at(subItem) = text;
    }

    void AddRow(const PeerRecord* r) {
        rows.push_back(r);
        cells.emplace_back(columns.size(), "");
    }
    std::string Tags() const {
        std::string out;
        for (const auto& c : columns)
            out += (c.tag ? c.tag->key : "-") + std::string(" ");
        return out;
    }
};

PeerRecord Peer(const char* name, const char* user, const char* title, int reachable) {
    PeerRecord r;
    std::strcpy(r.computerName, name);
    std::strcpy(r.userName, user);
    std::strcpy(r.title, title);
    r.sharedReachable = reachable;
    return r;
}

using Texts = std::vector<std::string>;

TEST(Columns, FindColumnIgnoresAsciiCaseAndFallsBackToRecordZero) {
    CBrowserSettings s;
    EXPECT_EQ(&FindColumn(s, "col_title"), &s.columns[3]);
    EXPECT_EQ(&FindColumn(s, "COL_OTHER"), &s.columns[0]);
    EXPECT_EQ(&FindColumn(s, nullptr), &s.columns[0]);
}

TEST(Columns, HidingAndShowingKeepTagsIndexesAndCellsInStep) {
    CBrowserSettings s;
    s.columns[3].visible = 0; // Title
    s.columns[3].width = 140;
    FakeList list;
    ApplyColumns(list, s);
    EXPECT_EQ(list.Tags(), "COL_COMP_NAME COL_USER_NAME COL_SHARED ");
    const PeerRecord a = Peer("PC7", "ann", "song", 1), b = Peer("PC8", "bob", "tune", 0);
    list.AddRow(&a);
    list.AddRow(&b);
    list.AddRow(nullptr);
    RefreshRowTexts(list, s);
    EXPECT_EQ(list.cells[0], (Texts{"PC7", "ann", "Yes"}));
    EXPECT_EQ(list.cells[1], (Texts{"PC8", "bob", "No"}));

    // Select columns: Title shown, Computer hidden.
    CBrowserSettings copy = s;
    EXPECT_FALSE(TakeColumnSelection(copy, {false, false, false, false}));
    EXPECT_TRUE(TakeColumnSelection(copy, {false, true, true, true}));
    copy.userGroup = 42;
    CopyColumnRecords(s, copy);
    EXPECT_EQ(s.userGroup, 100) << "only the column records come back";
    list.columns[1].width = 99; // User name, dragged by the user
    ApplyColumns(list, s);
    RefreshRowTexts(list, s);
    EXPECT_EQ(list.Tags(), "COL_USER_NAME COL_SHARED COL_TITLE ");
    EXPECT_EQ(list.columns[0].width, 99) << "present columns are left alone";
    EXPECT_EQ(list.columns[2].width, 140);
    EXPECT_EQ(list.columns[2].position, 3);
    EXPECT_EQ(list.cells[0], (Texts{"ann", "Yes", "song"}));
    EXPECT_EQ(list.cells[2], (Texts{"", "", ""}));
}

TEST(Columns, ARefusedDeleteOrInsertLeavesTheRecordsSayingWhatIsShown) {
    CBrowserSettings s;
    FakeList list;
    ApplyColumns(list, s);
    list.refusedDelete = 0; // column 0, on a list control older than version 6
    s.columns[1].visible = s.columns[4].visible = 0;
    ApplyColumns(list, s);
    EXPECT_EQ(list.Tags(), "COL_COMP_NAME COL_USER_NAME COL_TITLE ");
    EXPECT_EQ(s.columns[1].visible, 1) << "shown, yet saved as hidden";
    EXPECT_EQ(s.columns[1].listIndex, 0);
    EXPECT_EQ(s.columns[4].visible, 0);
    list.refuseInsert = true;
    s.columns[4].visible = 1;
    ApplyColumns(list, s);
    EXPECT_EQ(s.columns[4].visible, 0) << "not shown, yet saved as shown";
}

} // namespace
