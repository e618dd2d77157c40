#include "audio/file_writer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <new>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace audio {

namespace {

// How often the writer thread looks into the ring (a tenth of the ring's
// default two seconds: few wake-ups, ample room), and how often at most the
// encoder is asked for a checkpoint.
constexpr auto kPollInterval = std::chrono::milliseconds(200);
constexpr auto kCheckpointInterval = std::chrono::milliseconds(500);
constexpr std::size_t kChunkFrames = 4096;
constexpr double kMaxRingSeconds = 60.0;

// Every FileWriter alive, so that the exit handler can close them. Never
// destroyed: writers owned by static objects may outlive any static here.
struct Registry {
    std::mutex mutex;
    std::vector<FileWriter *> writers;
};

Registry &registry() {
    static Registry *const r = [] {
        auto *p = new Registry;
        std::atexit([] { FileWriter::CloseAll(); });
        return p;
    }();
    return *r;
}

FileOpenError openErrorOf(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return FileOpenError::kNoFolder;
    case EISDIR:
        return FileOpenError::kIsFolder;
    case EACCES:
    case EPERM:
    case EROFS:
        return FileOpenError::kAccessDenied;
    case ENXIO:
        return FileOpenError::kNotAFile;
    default:
        return FileOpenError::kSystem;
    }
}

} // namespace

FileOpenResult FileWriter::Open(RecordFormat format, const char *path, uint32_t sampleRate,
                                int channels, const FileWriterOptions &options) {
    FileOpenResult result;
    auto fail = [&result](FileOpenError error, int sysError) {
        result.error = error;
        result.sysError = sysError;
        return std::move(result);
    };
    if (path == nullptr || *path == '\0' || sampleRate < kMinSampleRate ||
        sampleRate > kMaxSampleRate || channels < 1 || channels > kMaxChannels ||
        !(options.ringSeconds > 0 && options.ringSeconds <= kMaxRingSeconds))
        return fail(FileOpenError::kInvalidArgument, EINVAL);

    Registry &reg = registry();
    // Held until the writer is registered, so that two Opens of one file
    // cannot both pass the check below.
    std::lock_guard lock(reg.mutex);
    struct stat st {};
    if (::stat(path, &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return fail(FileOpenError::kIsFolder, EISDIR);
        for (const FileWriter *w : reg.writers)
            if (!w->IsClosed() && w->device_ == st.st_dev && w->inode_ == st.st_ino)
                return fail(FileOpenError::kAlreadyOpen, EBUSY);
    }

    // Before the file exists, so that a missing encoder leaves nothing.
    EncoderSetupError setupError = EncoderSetupError::kNone;
    std::unique_ptr<FormatEncoder> encoder =
        MakeFormatEncoder(format, sampleRate, channels, options.maxDataBytes, setupError);
    if (!encoder)
        return setupError == EncoderSetupError::kMemory ? fail(FileOpenError::kSystem, ENOMEM)
                                                        : fail(FileOpenError::kNoEncoder, ENOSYS);

    // O_NONBLOCK keeps the open of a pipe from waiting for a reader.
    constexpr int kFlags = O_WRONLY | O_CLOEXEC | O_NONBLOCK;
    bool created = true;
    int fd = ::open(path, kFlags | O_CREAT | O_EXCL, 0644);
    if (fd < 0 && errno == EEXIST) {
        created = false;
        fd = ::open(path, kFlags);
    }
    if (fd < 0)
        return fail(openErrorOf(errno), errno);
    auto discard = [&](FileOpenError error, int sysError) {
        ::close(fd);
        if (created)
            ::unlink(path);
        return fail(error, sysError);
    };
    if (::fstat(fd, &st) != 0)
        return discard(FileOpenError::kSystem, errno);
    if (!S_ISREG(st.st_mode))
        return discard(FileOpenError::kNotAFile, EINVAL);
    if (::ftruncate(fd, 0) != 0)
        return discard(openErrorOf(errno), errno);
    if (const int error = encoder->Begin(fd); error != 0)
        return discard(FileOpenError::kWriteFailed, error);

    try {
        // Reserved first, so that once the writer exists nothing can throw.
        reg.writers.reserve(reg.writers.size() + 1);
        result.writer.reset(new FileWriter(format, std::move(encoder), path, fd, st.st_dev,
                                           st.st_ino, sampleRate, channels, options));
    } catch (const std::bad_alloc &) {
        return discard(FileOpenError::kSystem, ENOMEM);
    } catch (const std::system_error &e) {
        return discard(FileOpenError::kSystem, e.code().value());
    }
    reg.writers.push_back(result.writer.get());
    return result;
}

FileWriter::FileWriter(RecordFormat format, std::unique_ptr<FormatEncoder> encoder,
                       std::string path, int fd, dev_t device, ino_t inode, uint32_t sampleRate,
                       int channels, const FileWriterOptions &options)
    : format_(format), encoder_(std::move(encoder)), path_(std::move(path)), fd_(fd),
      device_(device), inode_(inode), sampleRate_(sampleRate), channels_(channels),
      ring_(static_cast<std::size_t>(std::max(1.0, std::ceil(options.ringSeconds * sampleRate))) *
            static_cast<std::size_t>(channels)),
      chunk_(std::make_unique<float[]>(kChunkFrames * static_cast<std::size_t>(channels))) {
    thread_ = std::thread([this] { run(); });
}

FileWriter::~FileWriter() {
    {
        Registry &reg = registry();
        std::lock_guard lock(reg.mutex);
        std::erase(reg.writers, this);
    }
    Close();
}

std::size_t FileWriter::Push(const float *interleaved, std::size_t frames) {
    std::size_t fit = 0;
    if (accepting_.load(std::memory_order_relaxed)) {
        const std::size_t ch = static_cast<std::size_t>(channels_);
        fit = std::min(frames, ring_.WriteAvailable() / ch);
        ring_.Write(interleaved, fit * ch);
        taken_.fetch_add(fit, std::memory_order_relaxed);
    }
    if (fit < frames)
        dropped_.fetch_add(frames - fit, std::memory_order_relaxed);
    return fit;
}

void FileWriter::Close() {
    std::lock_guard lock(closeMutex_);
    if (closed_.load(std::memory_order_relaxed))
        return;
    accepting_.store(false, std::memory_order_relaxed);
    {
        std::lock_guard wakeLock(wakeMutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
    ::close(fd_);
    closed_.store(true, std::memory_order_release);
}

bool FileWriter::WritesFile(const char *path) const {
    struct stat st {};
    if (path == nullptr || ::stat(path, &st) != 0)
        return false;
    return st.st_dev == device_ && st.st_ino == inode_;
}

void FileWriter::CloseAll() {
    Registry &reg = registry();
    std::lock_guard lock(reg.mutex);
    for (FileWriter *w : reg.writers)
        w->Close();
}

void FileWriter::run() {
    auto lastCheckpoint = std::chrono::steady_clock::now();
    for (;;) {
        bool stopping = false;
        {
            std::unique_lock lock(wakeMutex_);
            wake_.wait_for(lock, kPollInterval, [this] { return stop_; });
            stopping = stop_;
        }
        drain();
        if (stopping) {
            if (WriteError() == 0)
                if (const int error = encoder_->Finish(); error != 0)
                    stopWriting(error);
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (WriteError() == 0 && now - lastCheckpoint >= kCheckpointInterval) {
            encoder_->Checkpoint();
            lastCheckpoint = now;
        }
    }
}

void FileWriter::drain() {
    const std::size_t ch = static_cast<std::size_t>(channels_);
    for (;;) {
        const std::size_t samples = ring_.Read(chunk_.get(), kChunkFrames * ch);
        if (samples == 0)
            return;
        if (WriteError() != 0)
            continue;
        int error = 0;
        const std::size_t frames = encoder_->Write(chunk_.get(), samples / ch, error);
        framesWritten_.fetch_add(frames, std::memory_order_release);
        if (error != 0)
            stopWriting(error);
    }
}

void FileWriter::stopWriting(int error) {
    accepting_.store(false, std::memory_order_relaxed);
    writeError_.store(error, std::memory_order_release);
    encoder_->Abandon();
}

} // namespace audio
