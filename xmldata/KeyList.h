#pragma once
// The master keys of one detail, in master row order, with a lookup that ignores letter case
// (the narrow code page's rules) through a hash index.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vl {

class KeyList {
public:
    int count() const { return static_cast<int>(m_keys.size()); }
    const std::string& at(int position) const { return m_keys.at(static_cast<size_t>(position)); }

    // Both drop the hash index; the next find builds it anew.
    void append(std::string key);
    void clear();

    // Position of the last entry equal to key regardless of letter case, or -1.
    int find(std::string_view key) const;

    bool hasIndex() const { return m_indexed; }

private:
    struct Slot {
        uint32_t hash;
        int32_t position; // -1: free
    };

    void buildIndex() const;
    bool entryEquals(int32_t position, std::string_view folded) const;

    std::vector<std::string> m_keys;
    mutable bool m_indexed = false;
    mutable std::vector<Slot> m_slots;
    // Folded forms of the entries beyond ASCII; ASCII entries are folded on the fly.
    mutable std::unordered_map<int32_t, std::string> m_foldedBeyondAscii;
    mutable std::string m_foldBuffer;
};

} // namespace vl
