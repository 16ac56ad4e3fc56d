#include "synthesis/levels/min_cut.h"

#include <algorithm>

// Variable v is node v: on the source's side of the cut it is 0, on the sink's side 1. A parent arc leads from
// a node to its parent: in the source's tree flow runs down it the other way (arc ^ 1), in the sink's along it.

void BinaryChoice::reset(int variables) {
    terminal_.assign(static_cast<std::size_t>(variables), 0);
    first_.assign(static_cast<std::size_t>(variables), -1);
    arcs_.clear();
}

void BinaryChoice::add_arc(int from, int to, std::int64_t capacity) {
    arcs_.push_back({to, first_[static_cast<std::size_t>(from)], capacity});
    first_[static_cast<std::size_t>(from)] = static_cast<int>(arcs_.size()) - 1;
    arcs_.push_back({from, first_[static_cast<std::size_t>(to)], 0});
    first_[static_cast<std::size_t>(to)] = static_cast<int>(arcs_.size()) - 1;
}

void BinaryChoice::add_unary(int v, std::int64_t cost0, std::int64_t cost1) {
    // Paid where v lies on the sink's side: an arc from the source; on the source's side: an arc to the sink.
    terminal_[static_cast<std::size_t>(v)] += cost1 - cost0;
}

void BinaryChoice::add_pair(int u, int v, std::int64_t e00, std::int64_t e01, std::int64_t e10, std::int64_t e11) {
    // e00 + (e10 - e00) u + (e11 - e10) v + (e01 + e10 - e00 - e11) (1 - u) v: the last term is paid where u
    // lies on the source's side and v on the sink's, an arc from u to v.
    add_unary(u, 0, e10 - e00);
    add_unary(v, 0, e11 - e10);
    const std::int64_t differing = e01 + e10 - e00 - e11;
    if (differing > 0) {
        add_arc(u, v, differing);
    }
}

void BinaryChoice::activate(int node) {
    if (active_[static_cast<std::size_t>(node)] == 0) {
        active_[static_cast<std::size_t>(node)] = 1;
        queue_.push_back(node);
    }
}

void BinaryChoice::augment(int meeting) {
    const int from = arcs_[static_cast<std::size_t>(meeting ^ 1)].head;
    const int to = arcs_[static_cast<std::size_t>(meeting)].head;
    // The bottleneck: the meeting arc, the source's tree's arcs down to `from`, the sink's from `to`.
    std::int64_t flow = arcs_[static_cast<std::size_t>(meeting)].residual;
    int node = from;
    while (parent_[static_cast<std::size_t>(node)] != kTerminal) {
        const int a = parent_[static_cast<std::size_t>(node)];
        flow = std::min(flow, arcs_[static_cast<std::size_t>(a ^ 1)].residual);
        node = arcs_[static_cast<std::size_t>(a)].head;
    }
    flow = std::min(flow, terminal_[static_cast<std::size_t>(node)]);
    node = to;
    while (parent_[static_cast<std::size_t>(node)] != kTerminal) {
        const int a = parent_[static_cast<std::size_t>(node)];
        flow = std::min(flow, arcs_[static_cast<std::size_t>(a)].residual);
        node = arcs_[static_cast<std::size_t>(a)].head;
    }
    flow = std::min(flow, -terminal_[static_cast<std::size_t>(node)]);

    arcs_[static_cast<std::size_t>(meeting)].residual -= flow;
    arcs_[static_cast<std::size_t>(meeting ^ 1)].residual += flow;
    const auto cut_off = [this](int n) {
        parent_[static_cast<std::size_t>(n)] = kOrphan;
        orphans_.push_back(n);
    };
    node = from;
    while (true) {
        const int a = parent_[static_cast<std::size_t>(node)];
        if (a == kTerminal) {
            terminal_[static_cast<std::size_t>(node)] -= flow;
            if (terminal_[static_cast<std::size_t>(node)] == 0) {
                cut_off(node);
            }
            break;
        }
        arcs_[static_cast<std::size_t>(a ^ 1)].residual -= flow;
        arcs_[static_cast<std::size_t>(a)].residual += flow;
        const int next = arcs_[static_cast<std::size_t>(a)].head;
        if (arcs_[static_cast<std::size_t>(a ^ 1)].residual == 0) {
            cut_off(node);
        }
        node = next;
    }
    node = to;
    while (true) {
        const int a = parent_[static_cast<std::size_t>(node)];
        if (a == kTerminal) {
            terminal_[static_cast<std::size_t>(node)] += flow;
            if (terminal_[static_cast<std::size_t>(node)] == 0) {
                cut_off(node);
            }
            break;
        }
        arcs_[static_cast<std::size_t>(a)].residual -= flow;
        arcs_[static_cast<std::size_t>(a ^ 1)].residual += flow;
        const int next = arcs_[static_cast<std::size_t>(a)].head;
        if (arcs_[static_cast<std::size_t>(a)].residual == 0) {
            cut_off(node);
        }
        node = next;
    }
}

// Whether `node`'s chain of parents reaches its terminal.
bool BinaryChoice::rooted(int node) {
    walked_.clear();
    bool reaches = false;
    while (true) {
        if (rooted_in_[static_cast<std::size_t>(node)] == round_) {
            reaches = true;
            break;
        }
        const int a = parent_[static_cast<std::size_t>(node)];
        walked_.push_back(node);
        if (a == kTerminal) {
            reaches = true;
            break;
        }
        if (a == kOrphan || tree_[static_cast<std::size_t>(node)] == kFree) {
            break;
        }
        node = arcs_[static_cast<std::size_t>(a)].head;
    }
    if (reaches) {
        for (const int n : walked_) {
            rooted_in_[static_cast<std::size_t>(n)] = round_;
        }
    }
    return reaches;
}

void BinaryChoice::adopt(int orphan) {
    const Tree tree = tree_[static_cast<std::size_t>(orphan)];
    if (tree == kFree || parent_[static_cast<std::size_t>(orphan)] != kOrphan) {
        return;
    }
    // An arc that could carry flow from (source's tree) or to (sink's) a neighbour of the same tree.
    const auto carries = [&](int a) {
        return tree == kSource ? arcs_[static_cast<std::size_t>(a ^ 1)].residual > 0
                               : arcs_[static_cast<std::size_t>(a)].residual > 0;
    };
    for (int a = first_[static_cast<std::size_t>(orphan)]; a >= 0; a = arcs_[static_cast<std::size_t>(a)].next) {
        const int other = arcs_[static_cast<std::size_t>(a)].head;
        if (tree_[static_cast<std::size_t>(other)] == tree && carries(a) && rooted(other)) {
            parent_[static_cast<std::size_t>(orphan)] = a;
            return;
        }
    }
    // None: the orphan leaves its tree, its neighbours there may grow into it again, and its children are
    // orphans in turn.
    for (int a = first_[static_cast<std::size_t>(orphan)]; a >= 0; a = arcs_[static_cast<std::size_t>(a)].next) {
        const int other = arcs_[static_cast<std::size_t>(a)].head;
        if (tree_[static_cast<std::size_t>(other)] != tree) {
            continue;
        }
        if (carries(a)) {
            activate(other);
        }
        const int other_parent = parent_[static_cast<std::size_t>(other)];
        if (other_parent >= 0 && arcs_[static_cast<std::size_t>(other_parent)].head == orphan) {
            parent_[static_cast<std::size_t>(other)] = kOrphan;
            orphans_.push_back(other);
        }
    }
    tree_[static_cast<std::size_t>(orphan)] = kFree;
}

const std::vector<std::uint8_t>& BinaryChoice::solve() {
    const std::size_t nodes = terminal_.size();
    tree_.assign(nodes, kFree);
    parent_.assign(nodes, kOrphan);
    active_.assign(nodes, 0);
    rooted_in_.assign(nodes, -1);
    round_ = 0;
    queue_.clear();
    queue_head_ = 0;
    for (std::size_t v = 0; v < nodes; ++v) {
        if (terminal_[v] != 0) {
            tree_[v] = terminal_[v] > 0 ? kSource : kSink;
            parent_[v] = kTerminal;
            activate(static_cast<int>(v));
        }
    }
    while (queue_head_ < queue_.size()) {
        const int node = queue_[queue_head_];
        if (tree_[static_cast<std::size_t>(node)] == kFree) {
            active_[static_cast<std::size_t>(node)] = 0;
            ++queue_head_;
            continue;
        }
        // Grow: free neighbours join the node's tree; a neighbour of the other tree closes a path.
        int meeting = -1;
        const Tree tree = tree_[static_cast<std::size_t>(node)];
        for (int a = first_[static_cast<std::size_t>(node)]; a >= 0; a = arcs_[static_cast<std::size_t>(a)].next) {
            const int other = arcs_[static_cast<std::size_t>(a)].head;
            const bool open = tree == kSource ? arcs_[static_cast<std::size_t>(a)].residual > 0
                                              : arcs_[static_cast<std::size_t>(a ^ 1)].residual > 0;
            if (!open) {
                continue;
            }
            if (tree_[static_cast<std::size_t>(other)] == kFree) {
                tree_[static_cast<std::size_t>(other)] = tree;
                parent_[static_cast<std::size_t>(other)] = a ^ 1;
                activate(other);
            } else if (tree_[static_cast<std::size_t>(other)] != tree) {
                meeting = tree == kSource ? a : a ^ 1;
                break;
            }
        }
        if (meeting < 0) {
            active_[static_cast<std::size_t>(node)] = 0;
            ++queue_head_;
            continue;
        }
        augment(meeting);
        ++round_;
        while (!orphans_.empty()) {
            const int orphan = orphans_.back();
            orphans_.pop_back();
            adopt(orphan);
        }
    }
    // The source's tree is 0; the sink's 1; a free node costs the same either way and keeps 0.
    choice_.assign(nodes, 0);
    for (std::size_t v = 0; v < nodes; ++v) {
        choice_[v] = tree_[v] == kSink ? 1 : 0;
    }
    return choice_;
}
