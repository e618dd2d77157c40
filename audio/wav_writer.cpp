#include "audio/wav_writer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace audio {

namespace {

constexpr std::size_t kHeaderBytes = 44;
constexpr std::size_t kBytesPerSample = 2;
// How often the writer thread looks into the ring, and how often at most the
// header is rewritten.
constexpr auto kPollInterval = std::chrono::milliseconds(20);
constexpr auto kHeaderInterval = std::chrono::milliseconds(500);
constexpr std::size_t kChunkFrames = 4096;
constexpr double kMaxRingSeconds = 60.0;

void putLe16(unsigned char *p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v & 0xff);
    p[1] = static_cast<unsigned char>((v >> 8) & 0xff);
}

void putLe32(unsigned char *p, uint32_t v) {
    putLe16(p, v & 0xffff);
    putLe16(p + 2, v >> 16);
}

void buildHeader(unsigned char *h, uint32_t sampleRate, int channels, uint32_t dataBytes) {
    const uint32_t blockAlign = static_cast<uint32_t>(channels) * kBytesPerSample;
    std::memcpy(h, "RIFF", 4);
    putLe32(h + 4, 36 + dataBytes);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    putLe32(h + 16, 16);
    putLe16(h + 20, 1); // integer PCM
    putLe16(h + 22, static_cast<uint32_t>(channels));
    putLe32(h + 24, sampleRate);
    putLe32(h + 28, sampleRate * blockAlign);
    putLe16(h + 32, blockAlign);
    putLe16(h + 34, 8 * kBytesPerSample);
    std::memcpy(h + 36, "data", 4);
    putLe32(h + 40, dataBytes);
}

// Writes all of `size` bytes at `offset`; returns 0 or the errno.
int pwriteAll(int fd, const unsigned char *data, std::size_t size, off_t offset,
              std::size_t *written) {
    std::size_t done = 0;
    int error = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd, data + done, size - done, offset + static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            break;
        }
        if (n == 0) {
            error = ENOSPC;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (written != nullptr)
        *written = done;
    return error;
}

int16_t toPcm16(float x) {
    if (std::isnan(x))
        return 0;
    const long v = std::lrint(std::clamp(x, -1.0f, 1.0f) * 32768.0f);
    return static_cast<int16_t>(std::min(v, 32767L));
}

// Every WavWriter alive, so that the exit handler can close them. Never
// destroyed: writers owned by static objects may outlive any static here.
struct Registry {
    std::mutex mutex;
    std::vector<WavWriter *> writers;
};

Registry &registry() {
    static Registry *const r = [] {
        auto *p = new Registry;
        std::atexit([] { WavWriter::CloseAll(); });
        return p;
    }();
    return *r;
}

WavOpenError openErrorOf(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return WavOpenError::kNoFolder;
    case EISDIR:
        return WavOpenError::kIsFolder;
    case EACCES:
    case EPERM:
    case EROFS:
        return WavOpenError::kAccessDenied;
    case ENXIO:
        return WavOpenError::kNotAFile;
    default:
        return WavOpenError::kSystem;
    }
}

} // namespace

WavOpenResult WavWriter::Open(const char *path, uint32_t sampleRate, int channels,
                              const WavWriterOptions &options) {
    WavOpenResult result;
    auto fail = [&result](WavOpenError error, int sysError) {
        result.error = error;
        result.sysError = sysError;
        return std::move(result);
    };
    if (path == nullptr || *path == '\0' || sampleRate < kMinSampleRate ||
        sampleRate > kMaxSampleRate || channels < 1 || channels > kMaxChannels ||
        !(options.ringSeconds > 0 && options.ringSeconds <= kMaxRingSeconds))
        return fail(WavOpenError::kInvalidArgument, EINVAL);

    Registry &reg = registry();
    // Held until the writer is registered, so that two Opens of one file
    // cannot both pass the check below.
    std::lock_guard lock(reg.mutex);
    struct stat st {};
    if (::stat(path, &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return fail(WavOpenError::kIsFolder, EISDIR);
        for (const WavWriter *w : reg.writers)
            if (!w->IsClosed() && w->device_ == st.st_dev && w->inode_ == st.st_ino)
                return fail(WavOpenError::kAlreadyOpen, EBUSY);
    }

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
    auto discard = [&](WavOpenError error, int sysError) {
        ::close(fd);
        if (created)
            ::unlink(path);
        return fail(error, sysError);
    };
    if (::fstat(fd, &st) != 0)
        return discard(WavOpenError::kSystem, errno);
    if (!S_ISREG(st.st_mode))
        return discard(WavOpenError::kNotAFile, EINVAL);
    if (::ftruncate(fd, 0) != 0)
        return discard(openErrorOf(errno), errno);

    unsigned char header[kHeaderBytes];
    buildHeader(header, sampleRate, channels, 0);
    if (const int error = pwriteAll(fd, header, kHeaderBytes, 0, nullptr); error != 0)
        return discard(WavOpenError::kWriteFailed, error);

    try {
        // Reserved first, so that once the writer exists nothing can throw.
        reg.writers.reserve(reg.writers.size() + 1);
        result.writer.reset(
            new WavWriter(path, fd, st.st_dev, st.st_ino, sampleRate, channels, options));
    } catch (const std::bad_alloc &) {
        return discard(WavOpenError::kSystem, ENOMEM);
    } catch (const std::system_error &e) {
        return discard(WavOpenError::kSystem, e.code().value());
    }
    reg.writers.push_back(result.writer.get());
    return result;
}

WavWriter::WavWriter(std::string path, int fd, dev_t device, ino_t inode, uint32_t sampleRate,
                     int channels, const WavWriterOptions &options)
    : path_(std::move(path)), fd_(fd), device_(device), inode_(inode), sampleRate_(sampleRate),
      channels_(channels), maxFrames_(std::min(options.maxDataBytes, kWavMaxDataBytes) /
                                      (static_cast<uint64_t>(channels) * kBytesPerSample)),
      ring_(static_cast<std::size_t>(std::max(1.0, std::ceil(options.ringSeconds * sampleRate))) *
            static_cast<std::size_t>(channels)),
      floats_(std::make_unique<float[]>(kChunkFrames * static_cast<std::size_t>(channels))),
      bytes_(std::make_unique<unsigned char[]>(kChunkFrames * static_cast<std::size_t>(channels) *
                                               kBytesPerSample)) {
    thread_ = std::thread([this] { run(); });
}

WavWriter::~WavWriter() {
    {
        Registry &reg = registry();
        std::lock_guard lock(reg.mutex);
        std::erase(reg.writers, this);
    }
    Close();
}

std::size_t WavWriter::Push(const float *interleaved, std::size_t frames) {
    std::size_t fit = 0;
    if (accepting_.load(std::memory_order_relaxed)) {
        const std::size_t ch = static_cast<std::size_t>(channels_);
        fit = std::min(frames, ring_.WriteAvailable() / ch);
        ring_.Write(interleaved, fit * ch);
    }
    if (fit < frames)
        dropped_.fetch_add(frames - fit, std::memory_order_relaxed);
    return fit;
}

void WavWriter::Close() {
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

bool WavWriter::WritesFile(const char *path) const {
    struct stat st {};
    if (path == nullptr || ::stat(path, &st) != 0)
        return false;
    return st.st_dev == device_ && st.st_ino == inode_;
}

void WavWriter::CloseAll() {
    Registry &reg = registry();
    std::lock_guard lock(reg.mutex);
    for (WavWriter *w : reg.writers)
        w->Close();
}

void WavWriter::run() {
    auto lastHeader = std::chrono::steady_clock::now();
    for (;;) {
        bool stopping = false;
        {
            std::unique_lock lock(wakeMutex_);
            wake_.wait_for(lock, kPollInterval, [this] { return stop_; });
            stopping = stop_;
        }
        drain();
        const auto now = std::chrono::steady_clock::now();
        if (stopping || now - lastHeader >= kHeaderInterval) {
            updateHeader();
            lastHeader = now;
        }
        if (stopping)
            return;
    }
}

void WavWriter::drain() {
    const std::size_t ch = static_cast<std::size_t>(channels_);
    for (;;) {
        const std::size_t samples = ring_.Read(floats_.get(), kChunkFrames * ch);
        if (samples == 0)
            return;
        if (WriteError() == 0)
            writeChunk(floats_.get(), samples / ch);
    }
}

void WavWriter::writeChunk(const float *samples, std::size_t frames) {
    const uint64_t written = framesWritten_.load(std::memory_order_relaxed);
    const std::size_t room =
        static_cast<std::size_t>(std::min<uint64_t>(frames, maxFrames_ - written));
    const std::size_t ch = static_cast<std::size_t>(channels_);
    const std::size_t blockAlign = ch * kBytesPerSample;
    for (std::size_t i = 0; i < room * ch; ++i) {
        const uint16_t v = static_cast<uint16_t>(toPcm16(samples[i]));
        putLe16(bytes_.get() + 2 * i, v);
    }
    std::size_t bytes = 0;
    const off_t at = static_cast<off_t>(kHeaderBytes + written * blockAlign);
    const int error = pwriteAll(fd_, bytes_.get(), room * blockAlign, at, &bytes);
    framesWritten_.store(written + bytes / blockAlign, std::memory_order_release);
    if (error != 0)
        stopWriting(error);
    else if (room < frames)
        stopWriting(EFBIG);
}

void WavWriter::stopWriting(int error) {
    accepting_.store(false, std::memory_order_relaxed);
    writeError_.store(error, std::memory_order_release);
    // Cuts off a partly written frame. Should that fail, the bytes lie past
    // the data chunk the header describes, where readers do not look.
    const uint64_t frames = framesWritten_.load(std::memory_order_relaxed);
    const off_t end = static_cast<off_t>(kHeaderBytes + frames * static_cast<uint64_t>(channels_) *
                                                            kBytesPerSample);
    (void)!::ftruncate(fd_, end);
    updateHeader();
}

void WavWriter::updateHeader() {
    const uint64_t frames = framesWritten_.load(std::memory_order_relaxed);
    if (frames == headerFrames_)
        return;
    const uint32_t dataBytes =
        static_cast<uint32_t>(frames * static_cast<uint64_t>(channels_) * kBytesPerSample);
    unsigned char header[kHeaderBytes];
    buildHeader(header, sampleRate_, channels_, dataBytes);
    // The sizes are the only fields that change.
    if (pwriteAll(fd_, header + 4, 4, 4, nullptr) == 0 &&
        pwriteAll(fd_, header + 40, 4, 40, nullptr) == 0)
        headerFrames_ = frames;
}

} // namespace audio
