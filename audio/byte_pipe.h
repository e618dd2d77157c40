#pragma once

// The bounded byte ring between a channel's network thread (writer) and its
// decode thread (reader), over SpscRing. Both ends may wait: the writer for
// room, the reader for data; Close (end of stream) and Abort (the channel is
// being freed) end every wait at once. Neither end is the output thread, so
// a mutex and condition variable serve for the waiting.

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>

#include "audio/spsc_ring.h"

namespace audio {

class BytePipe {
public:
    explicit BytePipe(std::size_t capacity_bytes) : ring_(capacity_bytes) {}

    // Writer: copies all of `bytes`, waiting for room; false once aborted.
    bool Write(std::span<const uint8_t> bytes) {
        while (!bytes.empty()) {
            const std::size_t n = ring_.Write(bytes.data(), bytes.size());
            if (n > 0) {
                bytes = bytes.subspan(n);
                std::lock_guard lock(mutex_);
                wroteSome_.notify_one();
                continue;
            }
            std::unique_lock lock(mutex_);
            readSome_.wait(lock, [&] { return aborted_ || ring_.WriteAvailable() > 0; });
            if (aborted_)
                return false;
        }
        std::lock_guard lock(mutex_);
        return !aborted_;
    }

    // Any thread: the bytes written and not yet read.
    std::size_t Buffered() const { return ring_.Capacity() - ring_.WriteAvailable(); }

    // Writer: no more bytes will come.
    void Close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        wroteSome_.notify_all();
    }

    // Any thread: ends both ends' waits for good.
    void Abort() {
        std::lock_guard lock(mutex_);
        aborted_ = true;
        wroteSome_.notify_all();
        readSome_.notify_all();
    }

    enum class ReadResult { Data, End, Aborted };

    // Reader: waits for at least one byte, then copies up to `out.size()`.
    ReadResult Read(std::span<uint8_t> out, std::size_t &got) {
        got = 0;
        std::unique_lock lock(mutex_);
        wroteSome_.wait(lock, [&] { return aborted_ || closed_ || ring_.ReadAvailable() > 0; });
        if (aborted_)
            return ReadResult::Aborted;
        lock.unlock();
        got = ring_.Read(out.data(), out.size());
        if (got == 0)
            return ReadResult::End;
        lock.lock();
        readSome_.notify_one();
        return ReadResult::Data;
    }

private:
    SpscRing<uint8_t> ring_;
    std::mutex mutex_;
    std::condition_variable wroteSome_;
    std::condition_variable readSome_;
    bool closed_ = false;
    bool aborted_ = false;
};

} // namespace audio
