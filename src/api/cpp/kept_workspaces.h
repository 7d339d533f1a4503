// The codec's work buffers kept between calls of the C++ API. Each call has codec state of its
// own, but a fresh state faults its buffers in anew: a 3200 x 3000 decode took three times as
// long as one on kept buffers. A call borrows a set and gives it back; as many sets are kept
// as calls ran at once, up to one a core (beyond that they are let go). The codec itself lets
// a set grown past wsq::kKeptPixels go.
#pragma once

#include <algorithm>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace quorvel::cpp {

template <class Workspace>
class KeptWorkspaces {
public:
    Workspace take() {
        const std::lock_guard guard(lock_);
        if (sets_.empty()) return {};
        Workspace work = std::move(sets_.back());
        sets_.pop_back();
        return work;
    }
    void give(Workspace&& work) {
        const std::lock_guard guard(lock_);
        const size_t most = std::max(1u, std::thread::hardware_concurrency());
        if (sets_.size() < most) sets_.push_back(std::move(work));
    }

private:
    std::mutex lock_;
    std::vector<Workspace> sets_;
};

// A set borrowed for the length of one call.
template <class Workspace>
class BorrowedWorkspace {
public:
    explicit BorrowedWorkspace(KeptWorkspaces<Workspace>& from) : from_(from), work(from.take()) {}
    ~BorrowedWorkspace() { from_.give(std::move(work)); }
    BorrowedWorkspace(const BorrowedWorkspace&) = delete;
    BorrowedWorkspace& operator=(const BorrowedWorkspace&) = delete;

private:
    KeptWorkspaces<Workspace>& from_;

public:
    Workspace work;
};

}  // namespace quorvel::cpp
