#pragma once

// A WAV encoder: writes interleaved float frames to a file as 16-bit PCM WAV.
//
// Threads: one producer (the output callback) calls Push, which only copies
// into a lock-free ring: it never blocks, allocates or does I/O. The writer's
// own thread drains the ring, converts to 16 bits (rounded, clipped), appends
// to the file and brings the header's sizes up to date at least twice a
// second, so a killed process leaves a valid file lacking at most the last
// second. Close, from any thread, drains the ring, writes the final sizes and
// closes the file. A write error (disk full, I/O error) or the WAV size limit
// stops the writing for good: the file stays valid up to the last whole frame
// written, and Push goes on refusing frames harmlessly.
//
// Process exit: every writer still open is closed by an exit handler (see
// CloseAll), so a normal exit leaves complete files. A process that forks must
// leave the child with _exit, as the child has none of the writer threads.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <sys/types.h>

#include "audio/spsc_ring.h"

namespace audio {

// The largest data chunk a WAV file can describe (its RIFF size is 32 bits).
inline constexpr uint64_t kWavMaxDataBytes = 0xFFFFFFFFull - 36;

struct WavWriterOptions {
    // Audio the ring holds between the producer and the writer thread, up to
    // 60 s.
    double ringSeconds = 2.0;
    // Writing stops (WriteError EFBIG) before the data would exceed this.
    uint64_t maxDataBytes = kWavMaxDataBytes;
};

enum class WavOpenError {
    kNone,
    kInvalidArgument, // null or empty path; rate, channels or ring size out of range
    kNoFolder,        // a folder of the path does not exist or is not a folder
    kIsFolder,        // the path names a folder
    kNotAFile,        // the path names a device, pipe or socket
    kAccessDenied,    // no permission, or a read-only file system
    kAlreadyOpen,     // an open writer is writing that file
    kWriteFailed,     // the header could not be written (disk full, I/O error)
    kSystem,          // any other failure; see WavOpenResult::sysError
};

class WavWriter;

struct WavOpenResult {
    std::unique_ptr<WavWriter> writer; // null on failure
    WavOpenError error = WavOpenError::kNone;
    int sysError = 0; // errno of the failing call, 0 if none
};

class WavWriter {
public:
    static constexpr uint32_t kMinSampleRate = 1000;
    static constexpr uint32_t kMaxSampleRate = 768000;
    static constexpr int kMaxChannels = 8;

    // Creates (or truncates) `path` and starts writing a WAV file of
    // `sampleRate` Hz and `channels` interleaved channels. Fails at once, and
    // leaves no new file behind, when the file cannot be created and its
    // header written. Any thread.
    static WavOpenResult Open(const char *path, uint32_t sampleRate, int channels,
                              const WavWriterOptions &options = {});

    // Closes the file if still open.
    ~WavWriter();

    WavWriter(const WavWriter &) = delete;
    WavWriter &operator=(const WavWriter &) = delete;

    // Producer thread, wait-free: queues up to `frames` interleaved frames and
    // returns how many it took; frames that do not fit (ring full, writer
    // stopped or closed) are counted in DroppedFrames.
    std::size_t Push(const float *interleaved, std::size_t frames);

    // Any thread, idempotent: drains what was pushed before, writes the final
    // sizes, closes the file and ends the writer thread. Frames pushed while
    // Close runs may or may not reach the file.
    void Close();

    // Any thread.
    bool IsClosed() const { return closed_.load(std::memory_order_acquire); }
    // 0 while writing goes well; otherwise the errno of the failed write, or
    // EFBIG once the size limit is reached. Writing has stopped then.
    int WriteError() const { return writeError_.load(std::memory_order_acquire); }
    uint64_t FramesWritten() const { return framesWritten_.load(std::memory_order_acquire); }
    uint64_t DroppedFrames() const { return dropped_.load(std::memory_order_relaxed); }
    uint32_t SampleRate() const { return sampleRate_; }
    int Channels() const { return channels_; }
    const std::string &Path() const { return path_; }

    // Whether `path` names the very file this writer writes (the same file
    // under any spelling of its name).
    bool WritesFile(const char *path) const;

    // Closes every writer that is open, as at process exit, where an exit
    // handler calls it; the engine may call it at its own shutdown. Writers
    // stay valid objects (closed); a later Open works as usual.
    static void CloseAll();

private:
    WavWriter(std::string path, int fd, dev_t device, ino_t inode, uint32_t sampleRate,
              int channels, const WavWriterOptions &options);

    void run();
    void drain();
    void writeChunk(const float *samples, std::size_t frames);
    void stopWriting(int error);
    void updateHeader();

    const std::string path_;
    const int fd_;
    const dev_t device_;
    const ino_t inode_;
    const uint32_t sampleRate_;
    const int channels_;
    const uint64_t maxFrames_;

    SpscRing<float> ring_;
    std::atomic<bool> accepting_{true};
    std::atomic<uint64_t> dropped_{0};

    // Writer thread.
    std::unique_ptr<float[]> floats_;
    std::unique_ptr<unsigned char[]> bytes_;
    uint64_t headerFrames_ = 0; // frames the header last described

    std::atomic<uint64_t> framesWritten_{0};
    std::atomic<int> writeError_{0};

    std::mutex wakeMutex_;
    std::condition_variable wake_;
    bool stop_ = false; // guarded by wakeMutex_

    std::mutex closeMutex_;
    std::atomic<bool> closed_{false};
    std::thread thread_;
};

} // namespace audio
