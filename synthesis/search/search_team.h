#pragma once

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

// Threads that share every search of a level: the calling thread and size() - 1 workers. A search is cut
// into shares (0, 1, 2, ...) that the threads claim one at a time, so a thread that is slow to wake or is
// descheduled holds up nobody unless it is in the middle of a share. A search takes microseconds, so the
// workers spin a little before they sleep.
class SearchTeam {
public:
    explicit SearchTeam(int threads);
    ~SearchTeam();
    SearchTeam(const SearchTeam&) = delete;
    SearchTeam& operator=(const SearchTeam&) = delete;

    int size() const { return static_cast<int>(workers_.size()) + 1; }

    // Has the threads call work(thread, share) for shares 0, 1, 2, ... until a call returns false (no later
    // share can matter); returns when every started call has returned.
    template <class Work>
    void share(Work& work) {
        share_erased(&work, [](void* erased, int thread, int share) {
            return (*static_cast<Work*>(erased))(thread, share);
        });
    }

    // While one is held, the workers poll for the next search instead of sleeping: for a run of searches
    // with short serial work between them, where waking a worker would take as long as its share.
    class Awake {
    public:
        explicit Awake(SearchTeam* team) : team_(team) {
            if (team_ != nullptr) {
                team_->awake_.fetch_add(1);
            }
        }
        ~Awake() {
            if (team_ != nullptr) {
                team_->awake_.fetch_sub(1);
            }
        }
        Awake(const Awake&) = delete;
        Awake& operator=(const Awake&) = delete;

    private:
        SearchTeam* team_;
    };

private:
    using Call = bool (*)(void*, int, int);
    void share_erased(void* work, Call call);
    // Claims and does shares of the current search until none is left.
    void take_shares(int thread);
    void serve(int thread);

    std::vector<std::thread> workers_;
    std::atomic<std::uint32_t> wake_{0};   // bumped to wake the workers for a search
    std::atomic<std::uint64_t> claim_{0};  // search number (high half) and next share (low half)
    std::atomic<int> in_flight_{0};        // threads between claiming a share and finishing it
    std::atomic<bool> stopping_{false};
    std::atomic<int> awake_{0};  // Awake guards held
    std::uint32_t search_ = 0;
    void* work_ = nullptr;
    Call call_ = nullptr;
};
