#pragma once

// A recording: writes interleaved float frames to a file as WAV (16-bit PCM),
// MP3 or Ogg Vorbis (see RecordFormat and format_encoder.h).
//
// Threads: one producer (the output callback) calls Push, which only copies
// into a lock-free ring: it never blocks, allocates, encodes or does I/O. The
// writer's own thread drains the ring, encodes and appends to the file as the
// data comes: WAV brings its header's sizes up to date at least twice a
// second, MP3 writes each frame as the encoder gives it out, Ogg each page,
// so a killed process leaves a readable file lacking at most the last second
// or so. Close, from any thread, drains the ring, finishes the format (WAV:
// final sizes; MP3: the encoder's last frames; Ogg: the last page) and closes
// the file. A write error (disk full, I/O error) or the WAV size limit stops
// the writing for good: the file stays readable up to the last whole unit
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

#include "audio/format_encoder.h"
#include "audio/spsc_ring.h"

namespace audio {

struct FileWriterOptions {
    // Audio the ring holds between the producer and the writer thread, up to
    // 60 s.
    double ringSeconds = 2.0;
    // WAV only: writing stops (WriteError EFBIG) before the data would exceed
    // this.
    uint64_t maxDataBytes = kWavMaxDataBytes;
};

enum class FileOpenError {
    kNone,
    kInvalidArgument, // null or empty path; rate, channels or ring size out of range
    kNoFolder,        // a folder of the path does not exist or is not a folder
    kIsFolder,        // the path names a folder
    kNotAFile,        // the path names a device, pipe or socket
    kAccessDenied,    // no permission, or a read-only file system
    kAlreadyOpen,     // an open writer is writing that file
    kWriteFailed,     // the file's beginning could not be written (disk full, I/O error)
    kNoEncoder,       // FFmpeg lacks the format's encoder or muxer
    kSystem,          // any other failure; see FileOpenResult::sysError
};

class FileWriter;

struct FileOpenResult {
    std::unique_ptr<FileWriter> writer; // null on failure
    FileOpenError error = FileOpenError::kNone;
    int sysError = 0; // errno of the failing call, 0 if none
};

class FileWriter {
public:
    static constexpr uint32_t kMinSampleRate = 1000;
    static constexpr uint32_t kMaxSampleRate = 768000;
    static constexpr int kMaxChannels = 8;

    // Creates (or truncates) `path`, exactly as given, and starts writing a
    // `format` file of `sampleRate` Hz and `channels` interleaved channels.
    // Fails at once, and leaves no new file behind, when the file cannot be
    // created, the encoder cannot be set up or the file's beginning cannot be
    // written. Any thread.
    static FileOpenResult Open(RecordFormat format, const char *path, uint32_t sampleRate,
                               int channels, const FileWriterOptions &options = {});

    // Closes the file if still open.
    ~FileWriter();

    FileWriter(const FileWriter &) = delete;
    FileWriter &operator=(const FileWriter &) = delete;

    // Producer thread, wait-free: queues up to `frames` interleaved frames and
    // returns how many it took; frames that do not fit (ring full, writer
    // stopped or closed) are counted in DroppedFrames.
    std::size_t Push(const float *interleaved, std::size_t frames);

    // Any thread, idempotent: drains what was pushed before, finishes the
    // format, closes the file and ends the writer thread. Frames pushed while
    // Close runs may or may not reach the file.
    void Close();

    // Any thread.
    bool IsClosed() const { return closed_.load(std::memory_order_acquire); }
    // Neither closed nor stopped by a write error.
    bool IsWriting() const { return !IsClosed() && WriteError() == 0; }
    // 0 while writing goes well; otherwise the errno of the failed write, or
    // EFBIG once the size limit is reached. Writing has stopped then.
    int WriteError() const { return writeError_.load(std::memory_order_acquire); }
    // Frames Push took, frames handed to the encoder, and bytes in the file.
    uint64_t FramesTaken() const { return taken_.load(std::memory_order_relaxed); }
    uint64_t FramesWritten() const { return framesWritten_.load(std::memory_order_acquire); }
    uint64_t BytesWritten() const { return encoder_->Bytes(); }
    uint64_t DroppedFrames() const { return dropped_.load(std::memory_order_relaxed); }
    RecordFormat Format() const { return format_; }
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
    FileWriter(RecordFormat format, std::unique_ptr<FormatEncoder> encoder, std::string path,
               int fd, dev_t device, ino_t inode, uint32_t sampleRate, int channels,
               const FileWriterOptions &options);

    void run();
    void drain();
    void stopWriting(int error);

    const RecordFormat format_;
    const std::unique_ptr<FormatEncoder> encoder_; // writer thread, once started
    const std::string path_;
    const int fd_;
    const dev_t device_;
    const ino_t inode_;
    const uint32_t sampleRate_;
    const int channels_;

    SpscRing<float> ring_;
    std::atomic<bool> accepting_{true};
    std::atomic<uint64_t> taken_{0};
    std::atomic<uint64_t> dropped_{0};

    // Writer thread.
    std::unique_ptr<float[]> chunk_;

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
