#pragma once
// Sheets, detail tables and fields are named without regard to case, in templates and data alike.

#include <QString>

#include <vector>

namespace vl {

// The first of items whose name (the member key) matches name ignoring case; null when none does.
template <class Item> const Item* findNamed(const std::vector<Item>& items, QString Item::*key, const QString& name)
{
    for (const Item& item : items)
        if ((item.*key).compare(name, Qt::CaseInsensitive) == 0)
            return &item;
    return nullptr;
}

} // namespace vl
