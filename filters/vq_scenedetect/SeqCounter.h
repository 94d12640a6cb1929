#pragma once
// A sequence counter for data with one writer and readers that must not
// block it: the writer makes the counter odd while it changes the data and
// even again after; a reader copies the data and keeps the copy only when the
// counter was even before and unchanged after. The data itself must be read
// and written through relaxed atomics, so that an overlapping copy is merely
// discarded, never a data race.

#include <atomic>
#include <cstdint>
#include <thread>

namespace talvence {

class SeqCounter {
public:
    void BeginWrite() {
        const std::uint32_t seq = sequence_.load(std::memory_order_relaxed);
        sequence_.store(seq + 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
    }

    void EndWrite() {
        sequence_.store(sequence_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }

    // One attempt: false when a write was in progress or overlapped the copy.
    template <typename Copy> bool TryRead(Copy&& copy) const {
        const std::uint32_t before = sequence_.load(std::memory_order_acquire);
        if (before & 1u) return false;
        copy();
        std::atomic_thread_fence(std::memory_order_acquire);
        return sequence_.load(std::memory_order_relaxed) == before;
    }

    // Copies until a copy is whole. The writer holds the counter odd only for
    // the few microseconds of one copy, so this ends quickly.
    template <typename Copy> void Read(Copy&& copy) const {
        while (!TryRead(copy))
            std::this_thread::yield();
    }

private:
    std::atomic<std::uint32_t> sequence_{0};
};

} // namespace talvence
