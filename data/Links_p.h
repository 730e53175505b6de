#pragma once
// The two-way links of the data layer (a data link to its data source, a data source to its data set,
// a data set to its connection): the pointer on one side and the owner's list on the other change
// together. Visible to the data layer only.

#include <algorithm>
#include <vector>

namespace vl
{

// Points link at target (either may be null) and moves item from the list of the old target to that
// of the new one.
template <typename Target, typename Item>
void relink(Target*& link, Target* target, std::vector<Item*> Target::*list, Item* item)
{
    if (link) {
        std::vector<Item*>& items = link->*list;
        items.erase(std::remove(items.begin(), items.end(), item), items.end());
    }
    link = target;
    if (link)
        (link->*list).push_back(item);
}

} // namespace vl
