#include "synthesis/search/search_team.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

// Polls before sleeping; the next search usually starts within microseconds of the last one.
constexpr int kSpins = 4'000;
// The low half of claim_ once a search takes no more shares.
constexpr std::uint64_t kClosed = 0xFFFF'FFFFU;

void spin_pause() {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#endif
}

}  // namespace

SearchTeam::SearchTeam(int threads) {
    for (int t = 1; t < threads; ++t) {
        workers_.emplace_back([this, t] { serve(t); });
    }
}

SearchTeam::~SearchTeam() {
    stopping_.store(true);
    wake_.fetch_add(1);
    wake_.notify_all();
    for (std::thread& worker : workers_) {
        worker.join();
    }
}

void SearchTeam::share_erased(void* work, Call call) {
    if (workers_.empty()) {
        for (int share = 0; call(work, 0, share); ++share) {
        }
        return;
    }
    // No worker holds a share of an earlier search here, so the work may be replaced; a worker reads it
    // only after claiming a share of this search, which it cannot do before claim_ names it.
    work_ = work;
    call_ = call;
    ++search_;
    claim_.store(std::uint64_t{search_} << 32);
    wake_.fetch_add(1);
    wake_.notify_all();
    take_shares(0);
    // Close the search, then wait for the workers still busy with a share.
    std::uint64_t claim = claim_.load();
    while ((claim >> 32) == search_ && (claim & kClosed) != kClosed &&
           !claim_.compare_exchange_weak(claim, (claim & ~kClosed) | kClosed)) {
    }
    while (in_flight_.load() != 0) {
        spin_pause();
    }
}

void SearchTeam::take_shares(int thread) {
    for (;;) {
        in_flight_.fetch_add(1);
        std::uint64_t claim = claim_.load();
        while ((claim & kClosed) != kClosed && !claim_.compare_exchange_weak(claim, claim + 1)) {
        }
        if ((claim & kClosed) == kClosed) {
            in_flight_.fetch_sub(1);
            return;
        }
        const bool more = call_(work_, thread, static_cast<int>(claim & kClosed));
        if (!more) {
            // Later shares cannot matter: close this search (unless a newer one has begun, impossible while
            // this share is in flight, or it is closed already).
            std::uint64_t current = claim_.load();
            while ((current >> 32) == (claim >> 32) && (current & kClosed) != kClosed &&
                   !claim_.compare_exchange_weak(current, (current & ~kClosed) | kClosed)) {
            }
        }
        in_flight_.fetch_sub(1);
    }
}

void SearchTeam::serve(int thread) {
    std::uint32_t seen = 0;
    for (;;) {
        std::uint32_t now = wake_.load();
        // Held awake, the spins go on (without counting further) until the next search.
        for (int spin = 0; now == seen && (spin < kSpins || awake_.load(std::memory_order_relaxed) > 0);
             spin += spin < kSpins ? 1 : 0) {
            spin_pause();
            now = wake_.load();
        }
        if (now == seen) {
            wake_.wait(seen);
            now = wake_.load();
        }
        seen = now;
        if (stopping_.load()) {
            return;
        }
        take_shares(thread);
    }
}
