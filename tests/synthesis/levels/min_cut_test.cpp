// The cheapest choice of 0 or 1 per variable, against every choice tried.
#include "synthesis/levels/min_cut.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

struct Pair {
    int u;
    int v;
    std::int64_t e[4];  // 00, 01, 10, 11
};

// Small random problems on a 3 x 3 grid of variables (pairs between grid neighbours, costs that may be
// negative), solved and compared with the least of all 512 choices; the choice returned must cost that least.
TEST(BinaryChoice, FindsTheLeastCostOfAllChoices) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> cost(-20, 40);
    BinaryChoice choice;
    for (int problem = 0; problem < 200; ++problem) {
        SCOPED_TRACE(problem);
        const int n = 9;
        std::vector<std::int64_t> unary0(n);
        std::vector<std::int64_t> unary1(n);
        std::vector<Pair> pairs;
        for (int v = 0; v < n; ++v) {
            unary0[static_cast<std::size_t>(v)] = cost(random);
            unary1[static_cast<std::size_t>(v)] = cost(random);
            for (const int w : {v + 1, v + 3}) {
                if (w < n && (w == v + 3 || v % 3 != 2)) {
                    Pair pair{v, w, {cost(random), cost(random), cost(random), 0}};
                    // Agreeing may not cost more than differing.
                    pair.e[3] = std::min<std::int64_t>(cost(random), pair.e[1] + pair.e[2] - pair.e[0]);
                    pairs.push_back(pair);
                }
            }
        }
        const auto total = [&](const std::vector<std::uint8_t>& x) {
            std::int64_t sum = 0;
            for (int v = 0; v < n; ++v) {
                sum += x[static_cast<std::size_t>(v)] != 0 ? unary1[static_cast<std::size_t>(v)]
                                                          : unary0[static_cast<std::size_t>(v)];
            }
            for (const Pair& pair : pairs) {
                sum += pair.e[x[static_cast<std::size_t>(pair.u)] * 2 + x[static_cast<std::size_t>(pair.v)]];
            }
            return sum;
        };
        std::int64_t least = INT64_MAX;
        for (int bits = 0; bits < (1 << n); ++bits) {
            std::vector<std::uint8_t> x(n);
            for (int v = 0; v < n; ++v) {
                x[static_cast<std::size_t>(v)] = static_cast<std::uint8_t>((bits >> v) & 1);
            }
            least = std::min(least, total(x));
        }
        choice.reset(n);
        for (int v = 0; v < n; ++v) {
            choice.add_unary(v, unary0[static_cast<std::size_t>(v)], unary1[static_cast<std::size_t>(v)]);
        }
        for (const Pair& pair : pairs) {
            choice.add_pair(pair.u, pair.v, pair.e[0], pair.e[1], pair.e[2], pair.e[3]);
        }
        EXPECT_EQ(total(choice.solve()), least);
    }
}

// Where choices cost the same, the variables keep 0: here 4 for 1 and 2 both 0, both 1, or only 2 at 1.
TEST(BinaryChoice, KeepsZeroWhereTheChoicesCostTheSame) {
    BinaryChoice choice(3);
    choice.add_unary(0, 5, 5);
    choice.add_pair(1, 2, 0, 3, 3, 0);
    choice.add_unary(1, 0, 3);
    choice.add_unary(2, 4, 1);
    EXPECT_EQ(choice.solve(), (std::vector<std::uint8_t>{0, 0, 0}));
}

}  // namespace
