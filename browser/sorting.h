// The order of the browser's rows when the user sorts by a column. The rule
// is portable; the collation (the platform's locale-aware comparison in the
// plug-in) is passed in.
#pragma once

#include <functional>

#include "browser/settings.h"
#include "wire/peer_record.h"

// Compares two texts as the user's locale sorts them: negative, 0, positive.
using Collation = std::function<int(const char*, const char*)>;

// Negative when `a` goes before `b` in the column's last chosen direction
// (sortMark 1 ascending, 2 descending), positive when after, 0 when equal.
// The column's key picks the field exactly (case matters); Shared compares
// the words "YES" and "NO", so unreachable rows come first ascending. An
// unknown key compares everything equal.
int CompareRows(const PeerRecord& a, const PeerRecord& b, const ColumnSettings& column,
                const Collation& collate);
