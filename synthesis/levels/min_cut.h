#pragma once

#include <cstdint>
#include <vector>

// The cheapest choice of 0 or 1 for each of a set of variables whose cost is a sum of terms on one variable and
// terms on pairs that cost more where the pair differs than where it agrees (the cut of a graph between a
// source and a sink, found as the graph's maximum flow). Costs are whole numbers, up to 2^60 in all.
class BinaryChoice {
public:
    explicit BinaryChoice(int variables = 0) { reset(variables); }
    // Starts over with `variables` variables and no terms (keeping the memory it has).
    void reset(int variables);

    // Adds cost0 where variable v is 0 and cost1 where it is 1 (either may be negative).
    void add_unary(int v, std::int64_t cost0, std::int64_t cost1);
    // Adds a pair term: e00 where u and v are both 0, e01 where u is 0 and v is 1, and so on. The term must
    // not cost more for agreeing than for differing: e00 + e11 <= e01 + e10.
    void add_pair(int u, int v, std::int64_t e00, std::int64_t e01, std::int64_t e10, std::int64_t e11);

    // Chooses every variable so that the sum of the terms is least (ties: 0), and returns the choice.
    const std::vector<std::uint8_t>& solve();

private:
    struct Arc {
        int head;               // the node it leads to; arc a ^ 1 leads back
        int next;               // the next arc leaving the same node, or -1
        std::int64_t residual;  // what may still flow along it
    };
    enum Tree : std::uint8_t { kFree, kSource, kSink };
    static constexpr int kTerminal = -1;  // parent of a node joined to its tree's terminal directly
    static constexpr int kOrphan = -2;    // parent of a node cut off from its tree, to adopt or free

    void add_arc(int from, int to, std::int64_t capacity);
    void augment(int meeting);
    bool rooted(int node);
    void adopt(int orphan);
    void activate(int node);

    // Boykov and Kolmogorov's method: two search trees, grown from the source and from the sink, each path found
    // where they meet augmented, and the nodes it cuts off adopted again.
    std::vector<std::int64_t> terminal_;  // per node: what may flow from the source (> 0) or to the sink (< 0)
    std::vector<Arc> arcs_;
    std::vector<int> first_;  // per node, the first arc that leaves it (-1: none)
    std::vector<Tree> tree_;
    std::vector<int> parent_;  // per node in a tree, the arc to its parent, or kTerminal, or kOrphan
    std::vector<std::uint8_t> active_;
    std::vector<int> queue_;  // the active nodes, from queue_head_ on
    std::size_t queue_head_ = 0;
    std::vector<int> orphans_;
    // Per node, the round of adoptions in which its chain of parents was last found to reach its terminal: within
    // a round the chains found so far are not walked again.
    std::vector<int> rooted_in_;
    int round_ = 0;
    std::vector<int> walked_;
    std::vector<std::uint8_t> choice_;
};
