// A small random number generator that gives the same numbers for the same
// seed on every system and library (splitmix64), so a seed names a run.
#pragma once
#include <cstdint>

namespace zokc {

class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed) {}

    uint64_t next()
    {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }

    // Uniform from 0 to n - 1 (n at least 1), without the bias of a bare %.
    uint32_t below(uint32_t n)
    {
        const uint64_t limit = UINT64_MAX - UINT64_MAX % n;
        uint64_t x;
        do
            x = next();
        while (x >= limit);
        return static_cast<uint32_t>(x % n);
    }

private:
    uint64_t state_;
};

}  // namespace zokc
