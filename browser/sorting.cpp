#include "browser/sorting.h"

#include <cstring>

namespace {

const char* SharedWord(const PeerRecord& r) {
    return r.sharedReachable ? "YES" : "NO";
}

} // namespace

int CompareRows(const PeerRecord& a, const PeerRecord& b, const ColumnSettings& column,
                const Collation& collate) {
    // Keys are compared within their record's room: a key from the file is
    // always terminated there, but the rule must not depend on it.
    auto is = [&](const char* key) { return std::strncmp(column.key, key, kColumnTextRoom) == 0; };
    int r;
    if (is("COL_COMP_NAME"))
        r = collate(a.computerName, b.computerName);
    else if (is("COL_USER_NAME"))
        r = collate(a.userName, b.userName);
    else if (is("COL_TITLE"))
        r = collate(a.title, b.title);
    else if (is("COL_SHARED"))
        r = collate(SharedWord(a), SharedWord(b));
    else
        return 0;
    return column.sortMark == 1 ? r : -r;
}
