// The library through audio.h on the null device, against the loopback
// radio server: every format, tags, positions, playlists, redirects and the
// faults a real server may show.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "audio/audio.h"
#include "tests/audio/stream_test_support.h"
#include "tests/support/radio_server.h"

namespace {

using namespace streamtest;
using testsupport::AudioCodec;
using testsupport::Fault;
using testsupport::RadioServer;
using testsupport::RadioStream;
using testsupport::StatusLine;

// SDL's dummy driver plays nothing, so no test reaches a sound card.
const int kNoSoundCard = setenv("SDL_AUDIODRIVER", "dummy", 1);

enum class Call { Mpeg, Aac, Ac3 };

uint32_t open(Call call, const std::string &url) {
    switch (call) {
    case Call::Mpeg:
        return BASS_StreamCreateURL(url.c_str(), 0, BASS_STREAM_STATUS, nullptr, nullptr);
    case Call::Aac:
        return BASS_AAC_StreamCreateURL(url.c_str(), 0, BASS_STREAM_STATUS, nullptr, nullptr);
    case Call::Ac3:
        return BASS_AC3_StreamCreateURL(url.c_str(), 0, BASS_STREAM_STATUS, nullptr, nullptr);
    }
    return 0;
}

std::string firstHeaderLine(uint32_t channel) {
    const char *tags = BASS_ChannelGetTags(channel, BASS_TAG_HTTP);
    return tags != nullptr ? tags : "";
}

std::string title(const std::string &name) {
    return "StreamTitle='" + name + "';StreamUrl='';";
}

class StreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(kNoSoundCard, 0);
        ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr) ||
                    BASS_ErrorGetCode() == BASS_ERROR_ALREADY);
        ASSERT_TRUE(BASS_SetDevice(0));
        ASSERT_TRUE(BASS_SetConfig(BASS_CONFIG_NET_PLAYLIST, 1));
    }

    RadioServer server;
};

struct FormatCase {
    const char *name;
    AudioCodec codec;
    int kbps;
    Call call;
    StatusLine status;
    const char *firstLine;
};

void PrintTo(const FormatCase &c, std::ostream *os) {
    *os << c.name;
}

class EachFormat : public StreamTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(EachFormat, OpensPlaysHoldsAndShowsTagsAndPositions) {
    const FormatCase &c = GetParam();
    RadioStream stream;
    stream.codec = c.codec;
    stream.bitrate_kbps = c.kbps;
    stream.status = c.status;
    stream.seconds_encoded = 10.0;
    stream.metaint_bytes = 4000;
    stream.blocks_per_title = 2;
    const uint32_t channel = open(c.call, server.AddStream("/live", stream));
    ASSERT_NE(channel, 0u) << "error " << BASS_ErrorGetCode();
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_OK);
    EXPECT_EQ(firstHeaderLine(channel), c.firstLine);
    EXPECT_EQ(server.Loopback().Requests().front().Header("Icy-MetaData"), "1");

    CaptureTap tap;
    ASSERT_TRUE(tap.AttachTo(channel));
    EXPECT_EQ(BASS_ChannelGetPosition(channel, BASS_POS_BYTE), 0u);
    ASSERT_TRUE(BASS_ChannelPlay(channel, false));
    EXPECT_TRUE(WaitFor([&] { return PlayedSeconds(channel) > 0.8; }));

    // The titles change as the server sends them.
    EXPECT_TRUE(WaitFor([&] { return Meta(channel) == title("Artist - First Song"); }));
    EXPECT_TRUE(WaitFor([&] { return Meta(channel) == title("Artist - Second Song"); }));

    // Paused, the position holds while the stream keeps arriving.
    ASSERT_TRUE(BASS_ChannelPause(channel));
    const uint64_t held = BASS_ChannelGetPosition(channel, BASS_POS_BYTE);
    const uint64_t received = BASS_StreamGetFilePosition(channel, BASS_FILEPOS_END);
    EXPECT_TRUE(WaitFor(
        [&] { return BASS_StreamGetFilePosition(channel, BASS_FILEPOS_END) > received + 2000; }));
    EXPECT_EQ(BASS_ChannelGetPosition(channel, BASS_POS_BYTE), held);
    EXPECT_FALSE(BASS_ChannelPause(channel));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);

    ASSERT_TRUE(BASS_ChannelPlay(channel, false));
    EXPECT_TRUE(WaitFor([&] { return BASS_ChannelGetPosition(channel, BASS_POS_BYTE) > held; }));
    EXPECT_TRUE(WaitFor([] { return BASS_GetCPU() > 0.0f; }));
    EXPECT_LT(BASS_GetCPU(), 1.0f);

    // What played is the server's tone, decoded and resampled.
    std::vector<float> left;
    EXPECT_TRUE(WaitFor([&] {
        left = tap.TakeLeft();
        return left.size() > 44100;
    }));
    const std::size_t settled = 8192; // past encoder delay and the fade-in
    ASSERT_GT(left.size(), settled + 4410);
    EXPECT_NEAR(Rms(left, settled), testsupport::kToneAmplitude / std::sqrt(2.0), 0.05);
    EXPECT_NEAR(ToneHz(left, settled), testsupport::kToneHz, 10.0);

    ASSERT_TRUE(BASS_StreamFree(channel));
    EXPECT_EQ(BASS_ChannelGetPosition(channel, BASS_POS_BYTE), static_cast<uint64_t>(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, EachFormat,
    ::testing::Values(
        FormatCase{"mp3_icy", AudioCodec::Mp3, 128, Call::Mpeg, StatusLine::Icy, "ICY 200 OK"},
        FormatCase{"mp2_http10", AudioCodec::Mp2, 192, Call::Mpeg, StatusLine::Http10,
                   "HTTP/1.0 200 OK"},
        FormatCase{"aac_adts", AudioCodec::AacAdts, 64, Call::Aac, StatusLine::Http11,
                   "HTTP/1.1 200 OK"},
        FormatCase{"aac_adts_by_content_type", AudioCodec::AacAdts, 64, Call::Mpeg,
                   StatusLine::Http10, "HTTP/1.0 200 OK"},
        FormatCase{"aac_latm", AudioCodec::AacLatm, 64, Call::Aac, StatusLine::Icy, "ICY 200 OK"},
        FormatCase{"aac_mp4_by_content_type", AudioCodec::AacMp4, 64, Call::Mpeg,
                   StatusLine::Http10, "HTTP/1.0 200 OK"},
        FormatCase{"ac3", AudioCodec::Ac3, 192, Call::Ac3, StatusLine::Http10, "HTTP/1.0 200 OK"},
        FormatCase{"eac3", AudioCodec::Eac3, 96, Call::Ac3, StatusLine::Icy, "ICY 200 OK"}),
    [](const auto &c) { return std::string(c.param.name); });

TEST_F(StreamTest, TagsFollowTheirContracts) {
    RadioStream stream;
    stream.metaint_bytes = 64000; // the first block comes seconds after the open
    stream.content_type = "audio/mpeg";
    const uint32_t channel = open(Call::Mpeg, server.AddStream("/late-meta", stream));
    ASSERT_NE(channel, 0u);
    EXPECT_EQ(BASS_ChannelGetTags(channel, BASS_TAG_META), nullptr);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
    EXPECT_EQ(BASS_ChannelGetTags(channel, 99), nullptr);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLTYPE);

    // The header block: zero-terminated lines, the status line first, an
    // empty line last.
    const char *block = BASS_ChannelGetTags(channel, BASS_TAG_HTTP);
    ASSERT_NE(block, nullptr);
    std::vector<std::string> lines;
    for (const char *line = block; *line != '\0'; line += std::strlen(line) + 1)
        lines.emplace_back(line);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "HTTP/1.0 200 OK");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Content-Type: audio/mpeg"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "icy-metaint: 64000"), lines.end());
    // The same pointer stays valid while other tags are asked for.
    const std::string copy = block;
    EXPECT_EQ(BASS_ChannelGetTags(channel, BASS_TAG_META), nullptr);
    EXPECT_EQ(std::string(block), copy);

    const uint32_t plain = BASS_StreamCreateURL(server.AddStream("/plain", RadioStream{}).c_str(),
                                                0, 0, nullptr, nullptr);
    ASSERT_NE(plain, 0u);
    EXPECT_EQ(BASS_ChannelGetTags(plain, BASS_TAG_HTTP), nullptr); // no BASS_STREAM_STATUS
    EXPECT_TRUE(BASS_StreamFree(plain));
    EXPECT_TRUE(BASS_StreamFree(channel));
    EXPECT_EQ(BASS_ChannelGetTags(channel, BASS_TAG_HTTP), nullptr);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

TEST_F(StreamTest, CallsOnNoOrStaleChannelsFailAndChangeNothing) {
    const uint32_t channel = open(Call::Mpeg, server.AddStream("/s", RadioStream{}));
    ASSERT_NE(channel, 0u);
    ASSERT_TRUE(BASS_StreamFree(channel));
    const uint32_t next = open(Call::Mpeg, server.Url("/s"));
    ASSERT_NE(next, 0u);
    EXPECT_NE(next, channel);
    for (uint32_t stale : {0u, channel, next + 1, 0xFFFFFFFFu}) {
        EXPECT_FALSE(BASS_ChannelPlay(stale, false));
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
        EXPECT_FALSE(BASS_ChannelStop(stale));
        EXPECT_FALSE(BASS_ChannelPause(stale));
        EXPECT_FALSE(BASS_ChannelSetAttribute(stale, BASS_ATTRIB_VOL, 0.5f));
        EXPECT_EQ(BASS_ChannelGetTags(stale, BASS_TAG_HTTP), nullptr);
        EXPECT_EQ(BASS_ChannelGetPosition(stale, BASS_POS_BYTE), static_cast<uint64_t>(-1));
        EXPECT_EQ(BASS_StreamGetFilePosition(stale, BASS_FILEPOS_END), static_cast<uint64_t>(-1));
        EXPECT_EQ(BASS_ChannelBytes2Seconds(stale, 352800), 0.0);
        EXPECT_FALSE(BASS_StreamFree(stale));
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    }
    EXPECT_EQ(BASS_ChannelBytes2Seconds(next, 352800), 1.0);
    EXPECT_EQ(BASS_ChannelGetPosition(next, 1), static_cast<uint64_t>(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLTYPE);
    EXPECT_EQ(BASS_StreamGetFilePosition(next, 7), static_cast<uint64_t>(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLTYPE);
    EXPECT_FALSE(BASS_ChannelSetAttribute(next, 1, 0.5f));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLTYPE);
    EXPECT_FALSE(BASS_ChannelSetAttribute(next, BASS_ATTRIB_VOL, std::nanf("")));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    EXPECT_TRUE(BASS_ChannelSetAttribute(next, BASS_ATTRIB_VOL, 2.0f)); // clamped to 1.0
    EXPECT_FALSE(BASS_SetConfig(99, 1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLTYPE);
    EXPECT_TRUE(BASS_StreamFree(next));
}

TEST_F(StreamTest, SeveralChannelsPlayAtOnce) {
    RadioStream aac;
    aac.codec = AudioCodec::AacAdts;
    aac.bitrate_kbps = 64;
    const uint32_t a = open(Call::Mpeg, server.AddStream("/a", RadioStream{}));
    const uint32_t b = open(Call::Aac, server.AddStream("/b", aac));
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    ASSERT_TRUE(BASS_ChannelPlay(a, false));
    ASSERT_TRUE(BASS_ChannelPlay(b, false));
    EXPECT_TRUE(WaitFor([&] { return PlayedSeconds(a) > 0.5 && PlayedSeconds(b) > 0.5; }));
    EXPECT_TRUE(BASS_StreamFree(a));
    const double bAt = PlayedSeconds(b);
    EXPECT_TRUE(WaitFor([&] { return PlayedSeconds(b) > bAt + 0.2; }));
    EXPECT_TRUE(BASS_StreamFree(b));
}

TEST_F(StreamTest, StopSilencesAndTheNextPlayStartsFromTheNewestAudio) {
    RadioStream fast;
    fast.pace = 0; // the buffers fill at once
    const uint32_t channel = open(Call::Mpeg, server.AddStream("/fast", fast));
    ASSERT_NE(channel, 0u);
    ASSERT_TRUE(BASS_ChannelPlay(channel, false));
    EXPECT_TRUE(WaitFor([&] { return PlayedSeconds(channel) > 0.3; }));
    ASSERT_TRUE(BASS_ChannelStop(channel));
    const uint64_t stopped = BASS_ChannelGetPosition(channel, BASS_POS_BYTE);
    EXPECT_TRUE(BASS_ChannelStop(channel)); // stopping again is harmless
    EXPECT_EQ(BASS_ChannelGetPosition(channel, BASS_POS_BYTE), stopped);
    ASSERT_TRUE(BASS_ChannelPlay(channel, false));
    EXPECT_TRUE(WaitFor([&] { return BASS_ChannelGetPosition(channel, BASS_POS_BYTE) > stopped; }));
    EXPECT_TRUE(BASS_ChannelPlay(channel, true));
    EXPECT_TRUE(BASS_StreamFree(channel));
}

TEST_F(StreamTest, FollowsRedirectsAndKeepsTheFinalHead) {
    server.AddStream("/stream", RadioStream{});
    server.AddRedirect("/r3", "/stream", 301);
    server.AddRedirect("/r2", server.Url("/r3"), 307);
    const std::string first = server.AddRedirect("/r1", "/r2");
    const uint32_t channel = open(Call::Mpeg, first);
    ASSERT_NE(channel, 0u) << BASS_ErrorGetCode();
    EXPECT_EQ(firstHeaderLine(channel), "HTTP/1.0 200 OK");
    EXPECT_EQ(server.Loopback().Requests().size(), 4u);
    EXPECT_TRUE(BASS_StreamFree(channel));
}

TEST_F(StreamTest, FilePositionCountsAudioBytesOrTheAnnouncedLength) {
    RadioStream withMeta;
    withMeta.metaint_bytes = 1000;
    withMeta.pace = 0;
    withMeta.content_length.reset();
    withMeta.fault = Fault::DropAfter;
    withMeta.fault_after_bytes = 20000;
    const uint32_t counted = open(Call::Mpeg, server.AddStream("/counted", withMeta));
    ASSERT_NE(counted, 0u);
    // Metadata excluded: exactly the audio bytes the server sent.
    EXPECT_TRUE(
        WaitFor([&] { return BASS_StreamGetFilePosition(counted, BASS_FILEPOS_END) == 20000u; }));

    RadioStream announced;
    announced.content_length = 30000;
    const uint32_t sized = open(Call::Mpeg, server.AddStream("/sized", announced));
    ASSERT_NE(sized, 0u);
    EXPECT_EQ(BASS_StreamGetFilePosition(sized, BASS_FILEPOS_END), 30000u);
    EXPECT_TRUE(BASS_StreamFree(counted));
    EXPECT_TRUE(BASS_StreamFree(sized));
}

TEST_F(StreamTest, TheDownloadCallbackSeesTheBodyAndItsEnd) {
    struct Seen {
        std::atomic<uint64_t> bytes{0};
        std::atomic<bool> ended{false};
    } seen;
    RadioStream stream;
    stream.fault = Fault::DropAfter;
    stream.fault_after_bytes = 30000;
    stream.pace = 0;
    const std::string url = server.AddStream("/dl", stream);
    const uint32_t channel = BASS_StreamCreateURL(
        url.c_str(), 0, 0,
        [](const void *buffer, uint32_t length, void *user) {
            auto *s = static_cast<Seen *>(user);
            if (buffer == nullptr)
                s->ended = true;
            s->bytes += length;
        },
        &seen);
    ASSERT_NE(channel, 0u);
    EXPECT_TRUE(WaitFor([&] { return seen.ended.load(); }));
    EXPECT_EQ(seen.bytes.load(), 30000u);
    EXPECT_TRUE(BASS_StreamFree(channel));
}

// Open succeeds; the stream then ends or carries bad metadata, cleanly.
TEST_F(StreamTest, StreamsThatEndOrCarryBadMetadataEndCleanly) {
    const struct {
        const char *name;
        std::size_t metaint;
        std::string metaintHeader;
        Fault fault;
        std::size_t after;
        uint64_t audioBytes; // 0: the stream goes on
    } cases[] = {
        {"drops mid-stream", 0, "", Fault::DropAfter, 40000, 40000},
        {"metadata longer than the data left", 8000, "", Fault::MetaOverflow, 0, 16000},
        {"metaint 0", 0, "0", Fault::None, 0, 0},
        {"metaint absurdly large", 0, "99999999999999999999", Fault::None, 0, 0},
        {"metaint not a number", 0, "lots", Fault::None, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        RadioStream stream;
        stream.metaint_bytes = c.metaint;
        stream.metaint_header = c.metaintHeader;
        stream.fault = c.fault;
        stream.fault_after_bytes = c.after;
        stream.titles = {"cut"};
        const uint32_t channel = open(Call::Mpeg, server.AddStream("/end", stream));
        ASSERT_NE(channel, 0u) << BASS_ErrorGetCode();
        ASSERT_TRUE(BASS_ChannelPlay(channel, false));
        if (c.audioBytes != 0) {
            EXPECT_TRUE(WaitFor([&] { return server.ActiveStreams() == 0; }));
            EXPECT_TRUE(WaitFor([&] {
                return BASS_StreamGetFilePosition(channel, BASS_FILEPOS_END) == c.audioBytes;
            }));
            // It plays out what came, then the position stands.
            uint64_t last = 0;
            EXPECT_TRUE(WaitFor(
                [&] {
                    const uint64_t now = BASS_ChannelGetPosition(channel, BASS_POS_BYTE);
                    const bool still = now == last && now > 0;
                    last = now;
                    return still;
                },
                8s));
        } else {
            EXPECT_TRUE(WaitFor([&] { return PlayedSeconds(channel) > 0.5; }));
        }
        // The cut-off block never shows; no metadata where the header was bad.
        if (c.fault == Fault::MetaOverflow)
            EXPECT_EQ(Meta(channel), title("cut"));
        else
            EXPECT_EQ(BASS_ChannelGetTags(channel, BASS_TAG_META), nullptr);
        EXPECT_TRUE(BASS_StreamFree(channel));
    }
}

TEST_F(StreamTest, FreeStopsAtOnceWhileTheServerStalls) {
    RadioStream stream;
    stream.pace = 0;
    stream.fault = Fault::StallAfter;
    stream.fault_after_bytes = 70001; // a small tail after the last full piece
    const uint32_t channel = open(Call::Mpeg, server.AddStream("/stall", stream));
    ASSERT_NE(channel, 0u);
    ASSERT_TRUE(BASS_ChannelPlay(channel, false));
    // Everything sent before the stall arrives, the tail included.
    ASSERT_TRUE(
        WaitFor([&] { return BASS_StreamGetFilePosition(channel, BASS_FILEPOS_END) == 70001u; }));
    ASSERT_EQ(server.ActiveStreams(), 1);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(BASS_StreamFree(channel));
    RecordProperty("free_ms",
                   static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now() - start)
                                        .count()));
    // The connection is closed: the server's stalled handler sees it go.
    EXPECT_TRUE(WaitFor([&] { return server.ActiveStreams() == 0; }));
}

TEST_F(StreamTest, FreeStopsAChannelWhoseBuffersAreFull) {
    RadioStream stream;
    stream.pace = 0; // never played: the decoder and the network wait for room
    const uint32_t channel = open(Call::Mpeg, server.AddStream("/full", stream));
    ASSERT_NE(channel, 0u);
    uint64_t last = 0;
    ASSERT_TRUE(WaitFor([&] {
        const uint64_t now = BASS_StreamGetFilePosition(channel, BASS_FILEPOS_END);
        const bool full = now == last && now >= audio::kNetRingBytes;
        last = now;
        return full;
    }));
    ASSERT_TRUE(BASS_StreamFree(channel));
    EXPECT_TRUE(WaitFor([&] { return server.ActiveStreams() == 0; }));
}

struct PlaylistCase {
    const char *name;
    std::function<std::string(RadioServer &)> serve; // returns the address to open
};

void PrintTo(const PlaylistCase &c, std::ostream *os) {
    *os << c.name;
}

class Playlists : public StreamTest, public ::testing::WithParamInterface<PlaylistCase> {};

TEST_P(Playlists, OpenTheFirstEntryThatOpens) {
    server.AddStream("/live", RadioStream{});
    const uint32_t channel = open(Call::Mpeg, GetParam().serve(server));
    ASSERT_NE(channel, 0u) << BASS_ErrorGetCode();
    EXPECT_EQ(firstHeaderLine(channel), "HTTP/1.0 200 OK");
    ASSERT_TRUE(BASS_ChannelPlay(channel, false));
    EXPECT_TRUE(WaitFor([&] { return PlayedSeconds(channel) > 0.2; }));
    EXPECT_TRUE(BASS_StreamFree(channel));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, Playlists,
    ::testing::Values(
        PlaylistCase{"pls_dead_entry_first",
                     [](RadioServer &s) {
                         return s.AddPlaylist("/radio.pls", "audio/x-scpls",
                                              "[playlist]\r\nFile1=" + s.Url("/gone") +
                                                  "\r\nFile2=" + s.Url("/live") +
                                                  "\r\nNumberOfEntries=2\r\n");
                     }},
        PlaylistCase{"m3u_relative_entry",
                     [](RadioServer &s) {
                         return s.AddPlaylist("/lists/radio", "audio/x-mpegurl",
                                              "#EXTM3U\n#EXTINF:-1,Live\n../live\n");
                     }},
        PlaylistCase{"asx",
                     [](RadioServer &s) {
                         return s.AddPlaylist("/radio.asx", "video/x-ms-asf",
                                              "<asx version=\"3.0\"><entry><ref href=\"" +
                                                  s.Url("/live") + "\"/></entry></asx>");
                     }},
        PlaylistCase{"nested_pls_m3u",
                     [](RadioServer &s) {
                         s.AddPlaylist("/inner.m3u", "text/plain", s.Url("/live") + "\n");
                         return s.AddPlaylist("/outer.pls", "audio/x-scpls",
                                              "[playlist]\nFile1=/inner.m3u\n");
                     }},
        PlaylistCase{"redirect_to_playlist",
                     [](RadioServer &s) {
                         s.AddPlaylist("/radio.m3u", "audio/mpegurl", "/live\r\n");
                         return s.AddRedirect("/go", "/radio.m3u");
                     }}),
    [](const auto &c) { return std::string(c.param.name); });

TEST_F(StreamTest, WithPlaylistsOffAPlaylistIsNotAudio) {
    server.AddStream("/live", RadioStream{});
    const std::string url = server.AddPlaylist("/radio.pls", "audio/x-scpls",
                                               "[playlist]\nFile1=" + server.Url("/live") + "\n");
    ASSERT_TRUE(BASS_SetConfig(BASS_CONFIG_NET_PLAYLIST, 0));
    EXPECT_EQ(open(Call::Mpeg, url), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FORMAT);
    ASSERT_TRUE(BASS_SetConfig(BASS_CONFIG_NET_PLAYLIST, 1));
    const uint32_t channel = open(Call::Mpeg, url);
    EXPECT_NE(channel, 0u);
    EXPECT_TRUE(BASS_StreamFree(channel));
}

struct FaultCase {
    const char *name;
    Call call;
    int error;
    std::function<std::string(StreamTest &, RadioServer &)> serve;
};

void PrintTo(const FaultCase &c, std::ostream *os) {
    *os << c.name;
}

// Answers every connection at once with a plain HTTP line, as a server
// that speaks no TLS answers a TLS greeting, and closes.
class PlainGreeter {
public:
    PlainGreeter() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
            ::listen(fd_, 4) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            ADD_FAILURE() << "PlainGreeter: no socket";
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] {
            const int client = ::accept(fd_, nullptr, nullptr);
            if (client < 0)
                return;
            static constexpr char kAnswer[] = "HTTP/1.0 400 Bad Request\r\n\r\n";
            (void)::send(client, kAnswer, sizeof kAnswer - 1, MSG_NOSIGNAL);
            ::close(client);
        });
    }
    ~PlainGreeter() {
        ::shutdown(fd_, SHUT_RDWR); // ends a pending accept
        thread_.join();
        ::close(fd_);
    }
    uint16_t Port() const { return port_; }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
};

class Faults : public StreamTest, public ::testing::WithParamInterface<FaultCase> {
public:
    // Servers a case needs beyond the radio server.
    std::vector<std::unique_ptr<testsupport::LoopbackServer>> extra;
    std::unique_ptr<PlainGreeter> plain;
};

TEST_P(Faults, FailCleanlyWithAnErrorCode) {
    const FaultCase &c = GetParam();
    const std::string url = c.serve(*this, server);
    EXPECT_EQ(open(c.call, url), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), c.error);
    // Nothing of the failed attempt is left talking to the server.
    EXPECT_TRUE(WaitFor([&] { return server.ActiveStreams() == 0; }));
}

std::string faultyStream(RadioServer &s, Fault fault, std::size_t after = 0) {
    RadioStream stream;
    stream.fault = fault;
    stream.fault_after_bytes = after;
    return s.AddStream("/faulty", stream);
}

std::string codecStream(RadioServer &s, AudioCodec codec, int kbps) {
    RadioStream stream;
    stream.codec = codec;
    stream.bitrate_kbps = kbps;
    return s.AddStream("/other", stream);
}

std::string rawAnswer(StreamTest &test, const std::string &bytes) {
    auto &self = static_cast<Faults &>(test);
    self.extra.push_back(std::make_unique<testsupport::LoopbackServer>(
        [bytes](const testsupport::HttpRequest &, testsupport::Connection &c) { c.Send(bytes); }));
    return self.extra.back()->Url("/");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Faults,
    ::testing::Values(FaultCase{"connection_refused", Call::Mpeg, BASS_ERROR_CONNECT,
                                [](StreamTest &, RadioServer &) {
                                    uint16_t port = 0;
                                    {
                                        testsupport::LoopbackServer closed(
                                            testsupport::HttpResponse{});
                                        port = closed.Port();
                                    }
                                    return "http://127.0.0.1:" + std::to_string(port) + "/";
                                }},
                      FaultCase{"not_found", Call::Mpeg, BASS_ERROR_HTTP,
                                [](StreamTest &, RadioServer &s) {
                                    return s.Url("/missing");
                                }},
                      FaultCase{"server_error", Call::Mpeg, BASS_ERROR_HTTP,
                                [](StreamTest &, RadioServer &s) {
                                    testsupport::HttpResponse error;
                                    error.status = 500;
                                    error.reason = "Internal Server Error";
                                    return s.AddResponse("/error", error);
                                }},
                      FaultCase{"icy_error_status", Call::Mpeg, BASS_ERROR_HTTP,
                                [](StreamTest &fixture, RadioServer &) {
                                    return rawAnswer(fixture, "ICY 404 Resource Not Found\r\n\r\n");
                                }},
                      FaultCase{"not_http_at_all", Call::Mpeg, BASS_ERROR_HTTP,
                                [](StreamTest &fixture, RadioServer &) {
                                    return rawAnswer(fixture, "SSH-2.0-OpenSSH_9.2\r\n");
                                }},
                      FaultCase{"redirect_loop", Call::Mpeg, BASS_ERROR_HTTP,
                                [](StreamTest &, RadioServer &s) {
                                    s.AddRedirect("/b", "/a");
                                    return s.AddRedirect("/a", "/b");
                                }},
                      FaultCase{"six_redirects", Call::Mpeg, BASS_ERROR_HTTP,
                                [](StreamTest &, RadioServer &s) {
                                    s.AddStream("/r6", RadioStream{});
                                    for (int i = 5; i >= 0; --i)
                                        s.AddRedirect("/r" + std::to_string(i),
                                                      "/r" + std::to_string(i + 1));
                                    return s.Url("/r0");
                                }},
                      FaultCase{"never_answers", Call::Mpeg, BASS_ERROR_TIMEOUT,
                                [](StreamTest &, RadioServer &s) {
                                    return faultyStream(s, Fault::NoAnswer);
                                }},
                      FaultCase{"head_but_no_audio", Call::Mpeg, BASS_ERROR_TIMEOUT,
                                [](StreamTest &, RadioServer &s) {
                                    return faultyStream(s, Fault::StallAfter, 0);
                                }},
                      FaultCase{"empty_body", Call::Mpeg, BASS_ERROR_FORMAT,
                                [](StreamTest &, RadioServer &s) {
                                    return faultyStream(s, Fault::DropAfter, 0);
                                }},
                      FaultCase{"garbage_instead_of_audio", Call::Mpeg, BASS_ERROR_FORMAT,
                                [](StreamTest &, RadioServer &s) {
                                    return faultyStream(s, Fault::Garbage);
                                }},
                      FaultCase{"header_line_of_a_megabyte", Call::Mpeg, BASS_ERROR_HTTP,
                                [](StreamTest &, RadioServer &s) {
                                    return faultyStream(s, Fault::HugeHeaderLine);
                                }},
                      FaultCase{"aac_call_on_mp3", Call::Aac, BASS_ERROR_FORMAT,
                                [](StreamTest &, RadioServer &s) {
                                    return s.AddStream("/mp3", RadioStream{});
                                }},
                      FaultCase{"ac3_call_on_mp3", Call::Ac3, BASS_ERROR_FORMAT,
                                [](StreamTest &, RadioServer &s) {
                                    return s.AddStream("/mp3", RadioStream{});
                                }},
                      FaultCase{"mp3_call_on_ac3", Call::Mpeg, BASS_ERROR_FORMAT,
                                [](StreamTest &, RadioServer &s) {
                                    return codecStream(s, AudioCodec::Ac3, 192);
                                }},
                      FaultCase{"playlist_of_garbage", Call::Mpeg, BASS_ERROR_PLAYLIST,
                                [](StreamTest &, RadioServer &s) {
                                    return s.AddPlaylist(
                                        "/radio.pls", "audio/x-scpls",
                                        std::string("\x01\x02garbage\xff\x00\x7f", 12));
                                }},
                      FaultCase{"playlist_pointing_at_itself", Call::Mpeg, BASS_ERROR_PLAYLIST,
                                [](StreamTest &, RadioServer &s) {
                                    return s.AddPlaylist("/self.m3u", "audio/x-mpegurl",
                                                         "/self.m3u\n");
                                }},
                      FaultCase{"playlist_of_dead_entries", Call::Mpeg, BASS_ERROR_PLAYLIST,
                                [](StreamTest &, RadioServer &s) {
                                    return s.AddPlaylist("/dead.pls", "audio/x-scpls",
                                                         "[playlist]\nFile1=/gone\nFile2=/gone2\n"
                                                         "File3=file:///etc/passwd\n");
                                }},
                      FaultCase{"web_page", Call::Mpeg, BASS_ERROR_PLAYLIST,
                                [](StreamTest &, RadioServer &s) {
                                    return s.AddPlaylist("/index.html", "text/html",
                                                         "<html><body>Not a stream</body></html>");
                                }},
                      FaultCase{"https_to_a_plain_server", Call::Mpeg, BASS_ERROR_CONNECT,
                                [](StreamTest &fixture, RadioServer &) {
                                    auto &self = static_cast<Faults &>(fixture);
                                    self.plain = std::make_unique<PlainGreeter>();
                                    return "https://127.0.0.1:" +
                                           std::to_string(self.plain->Port()) + "/";
                                }},
                      FaultCase{"unsupported_scheme", Call::Mpeg, BASS_ERROR_URL,
                                [](StreamTest &, RadioServer &) {
                                    return std::string("ftp://127.0.0.1/x");
                                }},
                      FaultCase{"not_an_address", Call::Mpeg, BASS_ERROR_URL,
                                [](StreamTest &, RadioServer &) {
                                    return std::string("radio");
                                }},
                      FaultCase{"malformed_address", Call::Mpeg, BASS_ERROR_URL,
                                [](StreamTest &, RadioServer &) {
                                    return std::string("http://[::1/x");
                                }}),
    [](const auto &c) { return std::string(c.param.name); });

TEST_F(StreamTest, RejectsArgumentsItDoesNotSupport) {
    EXPECT_EQ(BASS_StreamCreateURL(nullptr, 0, 0, nullptr, nullptr), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    const std::string url = server.AddStream("/s", RadioStream{});
    EXPECT_EQ(BASS_StreamCreateURL(url.c_str(), 100, 0, nullptr, nullptr), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    EXPECT_TRUE(server.Loopback().Requests().empty());
}

} // namespace
