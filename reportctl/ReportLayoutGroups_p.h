#pragma once
// Where the groups of a chain begin and end over a run of rows, found once when the run starts, so that
// a group's header can sum the group and a group can be kept together before its rows are placed.

#include "ReportTemplate.h"

#include <QString>

#include <type_traits>
#include <vector>

namespace vl {

// Designed height of bands, before any grows.
template <class Bands> double heightOf(const Bands& bands)
{
    double height = 0;
    for (const auto& band : bands) {
        if constexpr (std::is_pointer_v<std::decay_t<decltype(band)>>)
            height += band->height;
        else
            height += band.height;
    }
    return height;
}

// The groups of one chain over a run of rows (positions 0 to n - 1).
struct GroupRuns {
    const std::vector<TemplateGroup>* levels = nullptr;
    // Per position: the outermost level whose group begins there (0 at the first position); the
    // number of levels where none begins.
    std::vector<int> breakLevel;
    std::vector<std::vector<int>> ends; // per level and position: the last position of the group there
    std::vector<int> open; // per level: the first position of the group being printed; -1: none

    int count() const { return levels ? static_cast<int>(levels->size()) : 0; }
    const TemplateGroup& level(int index) const { return (*levels)[static_cast<size_t>(index)]; }

    // Groups of `level` from `first` to `last` (inclusive), counting the one open at `first`.
    int groupsWithin(int level, int first, int last) const
    {
        int groups = 1;
        for (int position = first + 1; position <= last; ++position)
            groups += breakLevel[static_cast<size_t>(position)] <= level ? 1 : 0;
        return groups;
    }
};

// Fills `runs` for `positions` rows; `keyAt(level, position)` is the text of that level's by= at that row.
// A group of an outer level that begins starts every inner level anew.
template <class KeyAt> void findRuns(GroupRuns& runs, int positions, KeyAt keyAt)
{
    const int levels = runs.count();
    runs.breakLevel.assign(static_cast<size_t>(positions), levels);
    runs.ends.assign(static_cast<size_t>(levels), std::vector<int>(static_cast<size_t>(positions)));
    runs.open.assign(static_cast<size_t>(levels), -1);
    if (levels == 0 || positions == 0)
        return;
    std::vector<QString> previous(static_cast<size_t>(levels));
    for (int position = 0; position < positions; ++position) {
        int& breakLevel = runs.breakLevel[static_cast<size_t>(position)];
        for (int level = 0; level < levels; ++level) {
            QString key = keyAt(level, position);
            if (position == 0)
                breakLevel = 0;
            else if (breakLevel == levels && key != previous[static_cast<size_t>(level)])
                breakLevel = level;
            previous[static_cast<size_t>(level)] = std::move(key);
        }
    }
    for (int level = 0; level < levels; ++level) {
        std::vector<int>& ends = runs.ends[static_cast<size_t>(level)];
        ends[static_cast<size_t>(positions - 1)] = positions - 1;
        for (int position = positions - 2; position >= 0; --position)
            ends[static_cast<size_t>(position)]
                = runs.breakLevel[static_cast<size_t>(position + 1)] <= level ? position : ends[static_cast<size_t>(position + 1)];
    }
}

} // namespace vl
