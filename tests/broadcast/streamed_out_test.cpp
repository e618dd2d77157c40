#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "broadcast/listener_server.h"
#include "broadcast/streamed_out.h"
#include "stream_client.h"
#include "tone_source.h"

namespace {

using namespace std::chrono_literals;
using broadcast::OutputState;
using broadcast::OutputStatus;
using broadcasttest::RawClient;
using broadcasttest::ToneSource;

constexpr auto kDeadline = 10s;

// One output on a loopback port with a generated tone as its capture, and
// a way to wait for its status.
class StreamedOut : public testing::Test {
protected:
    StreamedOut() : input_(std::make_unique<ToneSource>(1000.0)) {
        tone_ = static_cast<ToneSource *>(&input_.Source());
        out_.Input = &input_;
        out_.DesiredBitrate = 64;
        out_.Port = 0;
        out_.MaxClients = 0;
        out_.ListenAddress = "127.0.0.1";
        out_.SetStatusCallback([this] {
            std::lock_guard lock(mutex_);
            ++changes_;
            changed_.notify_all();
        });
    }
    ~StreamedOut() override { out_.Stop(); }

    // Waits until the status satisfies `ready`; the last status either way.
    OutputStatus WaitFor(const std::function<bool(const OutputStatus &)> &ready,
                         std::chrono::milliseconds deadline = kDeadline) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, deadline, [&] { return ready(out_.Status()); });
        return out_.Status();
    }
    OutputStatus WaitRunning() {
        return WaitFor([](const OutputStatus &s) { return s.state == OutputState::Running; });
    }
    OutputStatus WaitIdle() {
        return WaitFor([](const OutputStatus &s) { return s.state == OutputState::Idle; });
    }
    OutputStatus WaitListeners(unsigned count, std::chrono::milliseconds deadline = kDeadline) {
        return WaitFor([count](const OutputStatus &s) { return s.listeners == count; }, deadline);
    }
    uint16_t StartRunning() {
        out_.Start();
        const OutputStatus status = WaitRunning();
        EXPECT_EQ(status.state, OutputState::Running) << status.error;
        return status.port;
    }

    broadcast::TDXAudioIn input_;
    ToneSource *tone_ = nullptr;
    broadcast::TWMStreamedOut out_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int changes_ = 0;
};

// A socket listening on a free loopback port, which the output then cannot take.
struct BusyPort {
    BusyPort() {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
        listen(fd, 1);
        socklen_t length = sizeof address;
        getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~BusyPort() { close(fd); }
    int fd = -1;
    uint16_t port = 0;
};

TEST_F(StreamedOut, CapturesWithTheComponentSettings) {
    const uint16_t port = StartRunning();
    EXPECT_NE(port, 0);
    EXPECT_TRUE(tone_->open.load());
    EXPECT_EQ(tone_->device_number.load(), 0);
    EXPECT_EQ(tone_->buffer_frames.load(), 800u);
    EXPECT_EQ(input_.PollingInterval(), 50ms);
    const OutputStatus status = out_.Status();
    EXPECT_EQ(status.bitrate_bps, 64000u);
    EXPECT_EQ(status.max_listeners, broadcast::kDefaultMaxClients);
    EXPECT_EQ(broadcast::StatusLine(status),
              "Streaming on port " + std::to_string(port) + " \u00b7 0 listeners");
    out_.Stop();
    EXPECT_EQ(out_.Status().state, OutputState::Idle);
    EXPECT_FALSE(tone_->open.load());
    EXPECT_EQ(broadcast::StatusLine(out_.Status()), "");
}

// What FFmpeg-based players (ffplay, mpv) and Windows Media clients get.
class Players : public StreamedOut, public testing::WithParamInterface<const char *> {};

TEST_P(Players, DecodeTheToneAsWindowsMediaAudio) {
    out_.DesiredBitrate = 128;
    const uint16_t port = StartRunning();
    const std::string url = std::string(GetParam()) + "://127.0.0.1:" + std::to_string(port) + "/";
    const auto decoded = broadcasttest::DecodeStream(url, 3.0, kDeadline);
    ASSERT_EQ(decoded.error, "");
    EXPECT_EQ(decoded.codec, "wmav2");
    EXPECT_EQ(decoded.sample_rate_hz, 8000);
    EXPECT_EQ(decoded.channels, 1);
    EXPECT_EQ(decoded.bit_rate, 128000);
    ASSERT_GE(decoded.samples.size(), 8000u * 3);
    EXPECT_NEAR(broadcasttest::ZeroCrossingFrequency(decoded.samples, 8000, 2048), 1000.0, 10.0);
}

INSTANTIATE_TEST_SUITE_P(Protocols, Players, testing::Values("http", "mmsh"));

TEST_F(StreamedOut, AnswersEachKindOfRequest) {
    const uint16_t port = StartRunning();
    struct Case {
        const char *name;
        std::string request;
        std::string status_line;
        std::string content_type;
        std::string body_start; // "" when no body is expected
    };
    const Case cases[] = {
        {"plain", broadcasttest::GetRequest(port, "User-Agent: mpv\r\n"), "HTTP/1.1 200",
         "video/x-ms-asf", std::string("\x30\x26\xb2\x75", 4)},
        {"wmp describe",
         broadcasttest::GetRequest(port, "User-Agent: NSPlayer/4.1.0.3856\r\nPragma: no-cache\r\n"),
         "HTTP/1.1 200", "application/x-mms-framed", "$H"},
        {"wmp play",
         broadcasttest::GetRequest(port, "User-Agent: NSPlayer/4.1.0.3856\r\nPragma: "
                                         "no-cache\r\nPragma: xPlayStrm=1\r\n"),
         "HTTP/1.1 200", "application/x-mms-framed", "$H"},
        {"head", broadcasttest::GetRequest(port, "", "HEAD"), "HTTP/1.1 200", "video/x-ms-asf", ""},
        {"post", broadcasttest::GetRequest(port, "Content-Length: 0\r\n", "POST"), "HTTP/1.1 405",
         "", ""},
        {"garbage", "\x01\x02 nonsense\r\n\r\n", "HTTP/1.1 400", "", ""},
    };
    for (const Case &c : cases) {
        RawClient client;
        ASSERT_TRUE(client.Connect(port)) << c.name;
        ASSERT_TRUE(client.Send(c.request)) << c.name;
        const std::string headers = client.ReadHeaders(kDeadline);
        EXPECT_EQ(headers.substr(0, c.status_line.size()), c.status_line) << c.name << headers;
        if (!c.content_type.empty()) {
            EXPECT_NE(headers.find("Content-Type: " + c.content_type), std::string::npos)
                << c.name << headers;
        }
        if (!c.body_start.empty()) {
            EXPECT_EQ(
                client.ReadBody(c.body_start.size(), kDeadline).substr(0, c.body_start.size()),
                c.body_start)
                << c.name;
        }
        EXPECT_EQ(headers.find("chunked"), std::string::npos) << c.name;
    }
}

TEST_F(StreamedOut, WindowsMediaPlayerGetsHeaderThenDataChunks) {
    const uint16_t port = StartRunning();
    RawClient client;
    ASSERT_TRUE(client.Connect(port));
    ASSERT_TRUE(client.Send(broadcasttest::GetRequest(
        port, "User-Agent: NSPlayer/4.1.0.3856\r\nPragma: xPlayStrm=1\r\n")));
    ASSERT_NE(client.ReadHeaders(kDeadline), "");
    std::string body = client.ReadBody(4, kDeadline);
    ASSERT_EQ(body.substr(0, 2), "$H");
    const std::size_t header_bytes =
        4 + (static_cast<uint8_t>(body[2]) | static_cast<std::size_t>(static_cast<uint8_t>(body[3]))
                                                 << 8);
    body = client.ReadBody(header_bytes + 4, kDeadline);
    ASSERT_EQ(body.size(), header_bytes + 4);
    EXPECT_EQ(body.substr(header_bytes, 2), "$D");
}

TEST_F(StreamedOut, ListenerBeyondTheLimitGets503AndFreedSlotsAreReused) {
    out_.MaxClients = 2;
    const uint16_t port = StartRunning();
    RawClient first, second, third;
    for (RawClient *client : {&first, &second}) {
        ASSERT_TRUE(client->Connect(port));
        ASSERT_TRUE(client->Send(broadcasttest::GetRequest(port)));
        EXPECT_EQ(client->ReadHeaders(kDeadline).substr(0, 12), "HTTP/1.1 200");
    }
    EXPECT_EQ(WaitListeners(2).listeners, 2u);
    EXPECT_EQ(broadcast::StatusLine(out_.Status()),
              "Streaming on port " + std::to_string(port) + " \u00b7 2 listeners");
    ASSERT_TRUE(third.Connect(port));
    ASSERT_TRUE(third.Send(broadcasttest::GetRequest(port)));
    EXPECT_EQ(third.ReadHeaders(kDeadline).substr(0, 12), "HTTP/1.1 503");
    EXPECT_TRUE(third.WaitClosed(kDeadline));
    EXPECT_EQ(out_.Status().listeners, 2u);

    first.Close();
    EXPECT_EQ(WaitListeners(1).listeners, 1u);
    RawClient again;
    ASSERT_TRUE(again.Connect(port));
    ASSERT_TRUE(again.Send(broadcasttest::GetRequest(port)));
    EXPECT_EQ(again.ReadHeaders(kDeadline).substr(0, 12), "HTTP/1.1 200");
    EXPECT_EQ(WaitListeners(2).listeners, 2u);
}

TEST_F(StreamedOut, StartWhileRunningIsBusyAndChangesNothing) {
    const uint16_t port = StartRunning();
    out_.Port = port + 1;
    out_.DesiredBitrate = 320;
    try {
        out_.Start();
        FAIL() << "Start while running succeeded";
    } catch (const broadcast::Error &e) {
        EXPECT_STREQ(e.what(), "Component is Busy");
    }
    const OutputStatus status = out_.Status();
    EXPECT_EQ(status.state, OutputState::Running);
    EXPECT_EQ(status.port, port);
    EXPECT_EQ(status.bitrate_bps, 64000u);
    EXPECT_EQ(tone_->opens.load(), 1);
}

TEST_F(StreamedOut, StartWithoutInputFails) {
    out_.Input = nullptr;
    EXPECT_THROW(out_.Start(), broadcast::Error);
    EXPECT_EQ(out_.Status().state, OutputState::Idle);
}

TEST_F(StreamedOut, FailuresLeaveTheOutputIdleAndStartable) {
    BusyPort busy;
    struct Case {
        const char *name;
        uint32_t port;
        const char *capture_failure;
        std::string error;
    };
    const Case cases[] = {
        {"port in use", busy.port, "", "Port " + std::to_string(busy.port) + " is in use"},
        {"port above 65535", 70000, "", "Port 70000 is out of range"},
        {"negative port", 0xfffffff6u, "", "Port 4294967286 is out of range"},
        {"no capture device", 0, "No capture device", "No capture device"},
    };
    for (const Case &c : cases) {
        out_.Port = c.port;
        tone_->open_failure = c.capture_failure;
        const int closes_before = tone_->closes.load();
        const int opens_before = tone_->opens.load();
        out_.Start();
        const OutputStatus failed = WaitFor(
            [](const OutputStatus &s) { return s.state == OutputState::Idle && !s.error.empty(); });
        EXPECT_EQ(failed.state, OutputState::Idle) << c.name;
        EXPECT_EQ(failed.error, c.error) << c.name;
        EXPECT_EQ(broadcast::StatusLine(failed), c.error) << c.name;
        EXPECT_EQ(tone_->opens.load(), opens_before + 1) << c.name;
        // The capture opened for a failed start is closed again.
        EXPECT_FALSE(tone_->open.load()) << c.name;
        if (c.capture_failure[0] == '\0') {
            EXPECT_EQ(tone_->closes.load(), closes_before + 1) << c.name;
        }

        // A later start with a good port and device works.
        tone_->open_failure = "";
        out_.Port = 0;
        const uint16_t port = StartRunning();
        EXPECT_NE(port, 0) << c.name;
        EXPECT_EQ(out_.Status().error, "") << c.name;
        out_.Stop();
    }
}

TEST_F(StreamedOut, StopEndsListenersPromptlyAndAllowsAStartAgain) {
    const uint16_t port = StartRunning();
    RawClient plain, mms;
    ASSERT_TRUE(plain.Connect(port));
    ASSERT_TRUE(plain.Send(broadcasttest::GetRequest(port)));
    ASSERT_TRUE(mms.Connect(port));
    ASSERT_TRUE(mms.Send(broadcasttest::GetRequest(port, "Pragma: xPlayStrm=1\r\n")));
    ASSERT_NE(plain.ReadHeaders(kDeadline), "");
    ASSERT_NE(mms.ReadHeaders(kDeadline), "");
    EXPECT_EQ(WaitListeners(2).listeners, 2u);

    out_.Stop();
    EXPECT_EQ(out_.Status().state, OutputState::Idle);
    EXPECT_EQ(out_.Status().listeners, 0u);
    // Stop has returned: the connections are already closed.
    EXPECT_TRUE(plain.WaitClosed(1s));
    EXPECT_TRUE(mms.WaitClosed(1s));
    RawClient late;
    EXPECT_FALSE(late.Connect(port) && late.Send(broadcasttest::GetRequest(port)) &&
                 !late.ReadHeaders(1s).empty());

    StartRunning();
}

TEST_F(StreamedOut, PauseSendsSilenceAndResumes) {
    const uint16_t port = StartRunning();
    out_.SetPaused(true);
    EXPECT_TRUE(out_.Status().paused);
    EXPECT_NE(broadcast::StatusLine(out_.Status()).find("paused"), std::string::npos);
    // Listeners joining now start at the live edge, which is silent once
    // the packets muxed before the pause have left the log.
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
    const auto silent = broadcasttest::DecodeStream(url, 2.0, kDeadline);
    ASSERT_EQ(silent.error, "");
    ASSERT_GE(silent.samples.size(), 8000u * 2);
    // The first second may still hold tone muxed before the pause.
    EXPECT_LT(broadcasttest::Rms(silent.samples, 8000), 0.01);

    out_.SetPaused(false);
    EXPECT_FALSE(out_.Status().paused);
    const auto tone = broadcasttest::DecodeStream(url, 3.0, kDeadline);
    ASSERT_EQ(tone.error, "");
    EXPECT_GT(broadcasttest::Rms(tone.samples, 8000), 0.2);
}

TEST_F(StreamedOut, FileNameArchivesTheStream) {
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("broadcast_archive_" + std::to_string(getpid()) + ".asf");
    out_.FileName = path.string();
    StartRunning();
    // Two seconds of audio have been muxed once the log's live edge is past
    // them; wait on the listeners' view of the stream instead of a clock.
    const uint16_t port = out_.Status().port;
    ASSERT_EQ(broadcasttest::DecodeStream("http://127.0.0.1:" + std::to_string(port) + "/", 2.0,
                                          kDeadline)
                  .error,
              "");
    out_.Stop();
    const auto archived = broadcasttest::DecodeStream(path.string(), 60.0, kDeadline);
    std::filesystem::remove(path);
    ASSERT_EQ(archived.error, "");
    EXPECT_EQ(archived.codec, "wmav2");
    EXPECT_GT(archived.samples.size(), 8000u * 2);
    EXPECT_NEAR(broadcasttest::ZeroCrossingFrequency(archived.samples, 8000, 2048), 1000.0, 10.0);
}

TEST_F(StreamedOut, UnwritableArchiveFailsTheStart) {
    out_.FileName = "/nonexistent-dir/archive.asf";
    out_.Start();
    const OutputStatus status = WaitIdle();
    EXPECT_EQ(status.state, OutputState::Idle);
    EXPECT_EQ(status.error.rfind("Cannot write /nonexistent-dir/archive.asf", 0), 0u)
        << status.error;
}

TEST_F(StreamedOut, SlowAndSilentClientsAreDisconnected) {
    out_.DesiredBitrate = 320;
    const uint16_t port = StartRunning();
    // Sends half a request line and then nothing.
    RawClient slow;
    ASSERT_TRUE(slow.Connect(port));
    ASSERT_TRUE(slow.Send("GET / HT"));
    // Asks for the stream and never reads it.
    RawClient stalled;
    ASSERT_TRUE(stalled.Connect(port, 4096));
    ASSERT_TRUE(stalled.Send(broadcasttest::GetRequest(port)));
    EXPECT_EQ(WaitListeners(1).listeners, 1u);
    // A good listener meanwhile keeps getting the stream.
    RawClient good;
    ASSERT_TRUE(good.Connect(port));
    ASSERT_TRUE(good.Send(broadcasttest::GetRequest(port)));
    ASSERT_NE(good.ReadHeaders(kDeadline), "");

    EXPECT_TRUE(slow.WaitClosed(broadcast::ListenerServer::kHeaderDeadline + kDeadline));
    // Dropped once it is further behind than the log keeps (after the
    // socket buffers have filled); the good one stays.
    const OutputStatus status = WaitListeners(1, 30s);
    EXPECT_EQ(status.listeners, 1u);
    std::size_t before = good.ReadBody(0, 0ms).size();
    EXPECT_GT(good.ReadBody(before + 40000, kDeadline).size(), before + 20000);
    EXPECT_TRUE(stalled.WaitClosed(kDeadline));
}

TEST_F(StreamedOut, MaliciousClientsDoNotDisturbPlayingListeners) {
    out_.MaxClients = 10;
    const uint16_t port = StartRunning();
    std::vector<std::unique_ptr<RawClient>> good;
    for (int i = 0; i < 10; ++i) {
        auto client = std::make_unique<RawClient>();
        ASSERT_TRUE(client->Connect(port));
        ASSERT_TRUE(client->Send(broadcasttest::GetRequest(port)));
        ASSERT_EQ(client->ReadHeaders(kDeadline).substr(0, 12), "HTTP/1.1 200");
        good.push_back(std::move(client));
    }
    EXPECT_EQ(WaitListeners(10).listeners, 10u);

    // The good listeners read all the while, on a thread of their own.
    std::atomic<bool> attacking{true};
    std::vector<std::size_t> received(good.size(), 0);
    const auto started = std::chrono::steady_clock::now();
    std::thread readers([&] {
        while (attacking.load()) {
            for (std::size_t i = 0; i < good.size(); ++i)
                received[i] = good[i]->ReadBody(received[i] + 65536, 20ms).size();
        }
    });
    // Ends the readers also when an assertion below returns early.
    struct JoinReaders {
        std::atomic<bool> &attacking;
        std::thread &readers;
        void Join() {
            attacking = false;
            if (readers.joinable())
                readers.join();
        }
        ~JoinReaders() { Join(); }
    } join_readers{attacking, readers};

    std::vector<std::unique_ptr<RawClient>> slowloris;
    for (int i = 0; i < 5; ++i) {
        auto client = std::make_unique<RawClient>();
        ASSERT_TRUE(client->Connect(port));
        ASSERT_TRUE(client->Send("GET / HTTP/1.1\r\nHost: x\r\nX-Slow: "));
        slowloris.push_back(std::move(client));
    }
    const std::string garbage[] = {
        std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n\r\n", 15),
        "GET\r\n\r\n",
        "GET / HTTP/9.9\r\n\r\n",
        "GET / HTTP/1.1\r\nBroken header line\r\n\r\n",
        std::string(3000, 'A') + "\r\n\r\n",
    };
    for (int i = 0; i < 1000; ++i) {
        RawClient client;
        ASSERT_TRUE(client.Connect(port)) << i;
        client.Send(garbage[i % std::size(garbage)]);
        ASSERT_TRUE(client.WaitClosed(kDeadline)) << i;
    }
    // Headers beyond what a request may take.
    RawClient oversized;
    ASSERT_TRUE(oversized.Connect(port));
    oversized.Send(
        broadcasttest::GetRequest(port, "X-Big: " + std::string(64 * 1024, 'b') + "\r\n"));
    EXPECT_TRUE(oversized.WaitClosed(kDeadline));
    for (auto &client : slowloris)
        EXPECT_TRUE(client->WaitClosed(broadcast::ListenerServer::kHeaderDeadline + kDeadline));

    join_readers.Join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(out_.Status().listeners, 10u);
    for (std::size_t i = 0; i < good.size(); ++i) {
        // 64 kbps is 8000 bytes a second; the first packet may lag by one.
        EXPECT_GT(static_cast<double>(received[i]), 8000.0 * (seconds - 1.0) * 0.9) << i;
    }
}

} // namespace
