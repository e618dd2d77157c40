#pragma once

// A stream channel's decode thread: reads the bytes the network thread puts
// into the BytePipe, finds the first frames (frame_sniffer.h) to pick the
// demuxer from the creation call and the Content-Type, demuxes and decodes
// with FFmpeg from a custom AVIOContext, resamples to the output format
// (float stereo at kOutputRateHz) and queues the frames in the channel's
// ChannelOutput. Reports the first queued audio, or the failure, through
// StreamState.
//
// Cancellation: the owner sets `abort`, aborts the pipe and wakes the
// output's producer; every wait of the thread then ends, and FFmpeg's
// interrupt callback reads the same flag. The destructor joins.

#include <atomic>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "audio/byte_pipe.h"
#include "audio/channel_output.h"
#include "audio/frame_sniffer.h"
#include "audio/stream_state.h"

namespace audio {

// What a stream may hold, by the creation call and the media type of its
// Content-Type: raw frames of these formats, or AAC in MP4 (not sniffed).
struct StreamFormats {
    std::vector<FrameFormat> frames;
    bool mp4 = false;
};
StreamFormats FormatsFor(StreamKind kind, std::string_view media_type);

// The FFmpeg demuxer that reads raw frames of `format`.
const char *DemuxerFor(FrameFormat format);

class StreamDecoder {
public:
    StreamDecoder(StreamKind kind, std::string media_type, BytePipe &pipe, ChannelOutput &output,
                  StreamState &state, const std::atomic<bool> &abort);
    ~StreamDecoder();

    StreamDecoder(const StreamDecoder &) = delete;
    StreamDecoder &operator=(const StreamDecoder &) = delete;

private:
    void run();

    const StreamKind kind_;
    const std::string mediaType_;
    BytePipe &pipe_;
    ChannelOutput &output_;
    StreamState &state_;
    const std::atomic<bool> &abort_;
    std::thread thread_;
};

} // namespace audio
