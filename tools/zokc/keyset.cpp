#include "keyset.hpp"

#include <algorithm>

namespace zokc {

uint64_t KeySet::hash(std::span<const uint32_t> key)
{
    uint64_t h = 0x9E3779B97F4A7C15u ^ key.size();
    for (const uint32_t word : key) {
        h ^= word;
        h *= 0xBF58476D1CE4E5B9u;
        h ^= h >> 31;
    }
    return h;
}

std::span<const uint32_t> KeySet::key(uint32_t id) const
{
    return std::span<const uint32_t>(words_).subspan(offsets_[id], offsets_[id + 1] - offsets_[id]);
}

void KeySet::grow()
{
    std::vector<uint32_t> slots(slots_.size() * 2, MISSING);
    const size_t mask = slots.size() - 1;
    for (uint32_t id = 0; id < size(); id++) {
        size_t at = hash(key(id)) & mask;
        while (slots[at] != MISSING)
            at = (at + 1) & mask;
        slots[at] = id;
    }
    slots_.swap(slots);
}

uint32_t KeySet::add(std::span<const uint32_t> key, bool full, bool *added)
{
    *added = false;
    const size_t mask = slots_.size() - 1;
    size_t at = hash(key) & mask;
    for (; slots_[at] != MISSING; at = (at + 1) & mask) {
        const auto known = this->key(slots_[at]);
        if (std::equal(known.begin(), known.end(), key.begin(), key.end()))
            return slots_[at];
    }
    if (full)
        return MISSING;
    const uint32_t id = size();
    slots_[at] = id;
    words_.insert(words_.end(), key.begin(), key.end());
    offsets_.push_back(words_.size());
    *added = true;
    if (size() * 2 > slots_.size())
        grow();
    return id;
}

}  // namespace zokc
