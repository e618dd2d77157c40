#pragma once

// A fixed-size ring of trivially copyable elements for exactly one producer
// thread and one consumer thread. Storage is allocated once, in the
// constructor; Write and Read never allocate, lock or wait, so the output
// callback may use either end. Waiting for space or data, where a thread
// needs it, is the caller's business (see the users of this class).

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <memory>
#include <type_traits>

namespace audio {

template <typename T> class SpscRing {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    // Holds up to `capacity` elements (rounded up to a power of two).
    explicit SpscRing(std::size_t capacity)
        : capacity_(roundUp(capacity)), mask_(capacity_ - 1),
          data_(std::make_unique<T[]>(capacity_)) {}

    SpscRing(const SpscRing &) = delete;
    SpscRing &operator=(const SpscRing &) = delete;

    std::size_t Capacity() const { return capacity_; }

    // Producer: how many elements fit now.
    std::size_t WriteAvailable() const {
        return capacity_ -
               (head_.load(std::memory_order_relaxed) - tail_.load(std::memory_order_acquire));
    }

    // Consumer: how many elements can be read now.
    std::size_t ReadAvailable() const {
        return head_.load(std::memory_order_acquire) - tail_.load(std::memory_order_relaxed);
    }

    // Producer: copies up to `count` elements in; returns how many fitted.
    std::size_t Write(const T *items, std::size_t count) {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        const std::size_t n = std::min(count, WriteAvailable());
        copyIn(head, items, n);
        head_.store(head + n, std::memory_order_release);
        return n;
    }

    // Consumer: copies up to `count` elements out; returns how many.
    std::size_t Read(T *items, std::size_t count) {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        const std::size_t n = std::min(count, ReadAvailable());
        copyOut(tail, items, n);
        tail_.store(tail + n, std::memory_order_release);
        return n;
    }

    // Consumer: drops up to `count` elements; returns how many.
    std::size_t Skip(std::size_t count) {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        const std::size_t n = std::min(count, ReadAvailable());
        tail_.store(tail + n, std::memory_order_release);
        return n;
    }

private:
    static std::size_t roundUp(std::size_t n) {
        std::size_t c = 1;
        while (c < n)
            c <<= 1;
        return c;
    }

    // memcpy must not see a null pointer, not even for no bytes (an empty
    // vector's data() may be one).
    void copyIn(std::size_t at, const T *items, std::size_t n) {
        if (n == 0)
            return;
        const std::size_t start = at & mask_;
        const std::size_t first = std::min(n, capacity_ - start);
        std::memcpy(data_.get() + start, items, first * sizeof(T));
        std::memcpy(data_.get(), items + first, (n - first) * sizeof(T));
    }

    void copyOut(std::size_t at, T *items, std::size_t n) const {
        if (n == 0)
            return;
        const std::size_t start = at & mask_;
        const std::size_t first = std::min(n, capacity_ - start);
        std::memcpy(items, data_.get() + start, first * sizeof(T));
        std::memcpy(items + first, data_.get(), (n - first) * sizeof(T));
    }

    const std::size_t capacity_;
    const std::size_t mask_;
    std::unique_ptr<T[]> data_;
    // Free-running counts of elements written and read; their difference is
    // the fill. Each on its own cache line so the two threads do not contend.
    alignas(64) std::atomic<std::size_t> head_{0};
    alignas(64) std::atomic<std::size_t> tail_{0};
};

} // namespace audio
