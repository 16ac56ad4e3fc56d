#pragma once

#include <cstdint>
#include <optional>

// Where the noise an output pyramid starts from is drawn: a sequence of exemplar pixel indices.
// Without a seed it is the sequence of the C library's rand() never seeded, reduced modulo the exemplar's
// pixel count, as texsynth has always drawn it (computed here, so that it is the same on every platform and
// runs in several threads of one process do not share a generator). With a seed it is a different,
// well-mixed sequence for every seed.
class NoiseDraws {
public:
    explicit NoiseDraws(std::optional<std::uint32_t> seed);

    // The next pixel index, from 0 to pixels - 1.
    int next(int pixels);

private:
    // The additive feedback generator behind glibc's rand(): r[i] = r[i-3] + r[i-31], output r[i] >> 1.
    std::uint32_t next_classic();
    std::uint64_t next_seeded();

    bool seeded_;
    std::uint64_t state_ = 0;
    std::uint32_t table_[34] = {};
    int position_ = 0;
};
