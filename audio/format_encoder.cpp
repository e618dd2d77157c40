#include "audio/format_encoder.h"

#include <cerrno>
#include <new>

#include <unistd.h>

namespace audio {

std::unique_ptr<FormatEncoder> MakeFormatEncoder(RecordFormat format, uint32_t sampleRate,
                                                 int channels, uint64_t maxDataBytes,
                                                 EncoderSetupError &error) {
    error = EncoderSetupError::kNone;
    try {
        if (format == RecordFormat::kWav)
            return MakeWavEncoder(sampleRate, channels, maxDataBytes);
        return MakeFfmpegEncoder(format, sampleRate, channels, error);
    } catch (const std::bad_alloc &) {
        error = EncoderSetupError::kMemory;
        return nullptr;
    }
}

int PwriteAll(int fd, const unsigned char *data, std::size_t size, int64_t offset,
              std::size_t *written) {
    std::size_t done = 0;
    int error = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd, data + done, size - done,
                                   static_cast<off_t>(offset) + static_cast<off_t>(done));
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

} // namespace audio
