// A set of keys, each a short run of 32-bit words, numbered 0, 1, 2, ... in
// the order they were first added. The keys live one after another in one
// block, so that a million states cost little more than their words.
#pragma once
#include <cstdint>
#include <span>
#include <vector>

namespace zokc {

class KeySet {
public:
    static constexpr uint32_t MISSING = UINT32_MAX;

    // The key's number; a new key gets the next number unless full is set,
    // in which case MISSING is returned for it.
    uint32_t add(std::span<const uint32_t> key, bool full, bool *added);
    std::span<const uint32_t> key(uint32_t id) const;
    uint32_t size() const { return static_cast<uint32_t>(offsets_.size() - 1); }

private:
    static uint64_t hash(std::span<const uint32_t> key);
    void grow();

    std::vector<uint32_t> words_;
    std::vector<uint64_t> offsets_{0};  // key n is words_[offsets_[n], offsets_[n + 1])
    std::vector<uint32_t> slots_ = std::vector<uint32_t>(64, MISSING);  // open addressing, linear probing
};

}  // namespace zokc
