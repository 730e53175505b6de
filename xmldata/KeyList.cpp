#include "KeyList.h"

#include "Text.h"

#include <bit>

namespace vl {
namespace {

char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool isAscii(std::string_view text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// FNV-1a over the upper-cased bytes, so that an ASCII text hashes without being copied.
template <bool Fold>
uint32_t hashOf(std::string_view text)
{
    uint32_t h = 2166136261u;
    for (char c : text) {
        h ^= static_cast<unsigned char>(Fold ? asciiUpper(c) : c);
        h *= 16777619u;
    }
    return h;
}

} // namespace

void KeyList::append(std::string key)
{
    m_keys.push_back(std::move(key));
    if (m_indexed) {
        m_indexed = false;
        m_slots.clear();
        m_foldedBeyondAscii.clear();
    }
}

void KeyList::clear()
{
    m_keys.clear();
    m_indexed = false;
    m_slots.clear();
    m_foldedBeyondAscii.clear();
}

void KeyList::buildIndex() const
{
    size_t capacity = std::bit_ceil(m_keys.size() * 2 + 2);
    m_slots.assign(capacity, Slot{0, -1});
    m_foldedBeyondAscii.clear();
    const size_t mask = capacity - 1;
    for (size_t i = 0; i < m_keys.size(); ++i) {
        const std::string& key = m_keys[i];
        const auto position = static_cast<int32_t>(i);
        uint32_t hash;
        std::string_view folded;
        if (isAscii(key)) {
            hash = hashOf<true>(key);
        } else {
            auto& stored = m_foldedBeyondAscii[position] = upperCase(key);
            folded = stored;
            hash = hashOf<false>(stored);
        }
        size_t slot = hash & mask;
        for (;;) {
            Slot& s = m_slots[slot];
            if (s.position < 0) {
                s = Slot{hash, position};
                break;
            }
            // An equal earlier entry gives way: the last one wins.
            if (s.hash == hash) {
                if (folded.empty() ? entryEquals(s.position, upperCase(key)) : entryEquals(s.position, folded)) {
                    s.position = position;
                    break;
                }
            }
            slot = (slot + 1) & mask;
        }
    }
    m_indexed = true;
}

bool KeyList::entryEquals(int32_t position, std::string_view folded) const
{
    if (!m_foldedBeyondAscii.empty()) {
        auto beyond = m_foldedBeyondAscii.find(position);
        if (beyond != m_foldedBeyondAscii.end())
            return beyond->second == folded;
    }
    const std::string& key = m_keys[static_cast<size_t>(position)];
    if (key.size() != folded.size())
        return false;
    for (size_t i = 0; i < key.size(); ++i)
        if (asciiUpper(key[i]) != folded[i])
            return false;
    return true;
}

int KeyList::find(std::string_view key) const
{
    if (m_keys.empty())
        return -1;
    if (!m_indexed)
        buildIndex();
    if (isAscii(key)) {
        m_foldBuffer.assign(key);
        for (auto& c : m_foldBuffer)
            c = asciiUpper(c);
    } else {
        m_foldBuffer = upperCase(key);
    }
    const std::string_view folded = m_foldBuffer;
    const uint32_t hash = hashOf<false>(folded);
    const size_t mask = m_slots.size() - 1;
    for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const Slot& s = m_slots[slot];
        if (s.position < 0)
            return -1;
        if (s.hash == hash && entryEquals(s.position, folded))
            return s.position;
    }
}

} // namespace vl
