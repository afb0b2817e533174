#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace keldar::generator {

// splitmix64 step: used to expand seeds and to hash (batch seed, file number).
inline std::uint64_t mix64(std::uint64_t &state)
{
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

// Each file's seed depends only on the batch seed and its own number, so any
// file of a batch can be regenerated alone.
inline std::uint64_t fileSeed(std::int64_t batchSeed, std::int64_t fileNumber)
{
    std::uint64_t state = static_cast<std::uint64_t>(batchSeed);
    const std::uint64_t a = mix64(state);
    state = a ^ static_cast<std::uint64_t>(fileNumber) * 0xd6e8feb86659fd93ULL;
    return mix64(state);
}

// xoshiro256**.  Written out here because library distributions differ
// between standard libraries and the files must be identical everywhere.
class Random
{
public:
    explicit Random(std::uint64_t seed)
    {
        for (std::uint64_t &word : s_)
            word = mix64(seed);
    }

    std::uint64_t next()
    {
        const std::uint64_t result = rotl(s_[1] * 5, 7) * 9;
        const std::uint64_t t = s_[1] << 17;
        s_[2] ^= s_[0];
        s_[3] ^= s_[1];
        s_[1] ^= s_[2];
        s_[0] ^= s_[3];
        s_[2] ^= t;
        s_[3] = rotl(s_[3], 45);
        return result;
    }

    // Uniform in [0, n) for n >= 1, without modulo bias (Lemire's method).
    std::uint32_t below(std::uint32_t n)
    {
        std::uint64_t m = (next() >> 32) * n;
        auto low = static_cast<std::uint32_t>(m);
        if (low < n) {
            const std::uint32_t threshold = static_cast<std::uint32_t>(-n) % n;
            while (low < threshold) {
                m = (next() >> 32) * n;
                low = static_cast<std::uint32_t>(m);
            }
        }
        return static_cast<std::uint32_t>(m >> 32);
    }

    // Uniform in [0, 1) with 53 random bits.
    double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

private:
    static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    std::uint64_t s_[4];
};

// Fisher-Yates from the back, on our own draws, so that every machine
// shuffles alike.
template <typename T> void shuffle(std::vector<T> &items, Random &random)
{
    for (std::size_t i = items.size(); i > 1; --i)
        std::swap(items[i - 1], items[random.below(static_cast<std::uint32_t>(i))]);
}

} // namespace keldar::generator
