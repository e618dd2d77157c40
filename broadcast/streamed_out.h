#pragma once

// The network streaming output: serves what its capture component captures
// as a Windows Media Audio stream over HTTP, to Windows Media players
// ($H/$D framing) and to every other player (plain ASF), and optionally
// archives it to an ASF file.
//
// Threads: the settings, Start, Stop, SetPaused and SetStatusCallback belong
// to one thread (the user-interface thread); Status may be called from any
// thread. Start hands the work to a worker thread of the output's own, which
// opens the capture, the encoder and the server and then moves captured
// sound into the stream until Stop or a failure. The status callback runs on
// the worker and on the server's polling thread.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "broadcast/capture.h"
#include "broadcast/error.h"

namespace broadcast {

enum class OutputState {
    Idle,     // nothing runs; Start may be called
    Starting, // the worker is opening the capture, the encoder and the server
    Running,  // the stream is served
};

struct OutputStatus {
    OutputState state = OutputState::Idle;
    uint16_t port = 0;          // the port being served (Running)
    uint32_t bitrate_bps = 0;   // what the encoder really produces (Running)
    unsigned listeners = 0;     // listeners being streamed to now
    unsigned max_listeners = 0; // the limit in force (Running)
    bool paused = false;        // silence is being sent in place of the capture
    // Why the last stream did not start or ended by itself, as the user reads
    // it ("Port 8080 is in use", "No capture device"); "" after a Stop and
    // while a stream starts or runs.
    std::string error;
};

// The one-line status a window shows: "Streaming on port 8080 · 2 listeners"
// (with " · paused" while paused), "Starting...", the error, or "" when idle
// with no error.
std::string StatusLine(const OutputStatus &status);

// The listener limit used when MaxClients is 0.
inline constexpr uint32_t kDefaultMaxClients = 100;

class TWMStreamedOut {
public:
    TWMStreamedOut() = default;
    // Stops a running stream and waits for its threads.
    ~TWMStreamedOut();

    TWMStreamedOut(const TWMStreamedOut &) = delete;
    TWMStreamedOut &operator=(const TWMStreamedOut &) = delete;

    // Settings: plain values, read when Start is called; changing them while
    // a stream runs does not affect it.
    TDXAudioIn *Input = nullptr; // the capture; must outlive the output
    uint32_t DesiredBitrate = 0; // below 1000: kbps; else bits per second
    std::string FileName;        // "": no archive; else the ASF file the stream is also written to
    uint32_t Port = 0;           // TCP port; 0: any free port (Status().port tells which)
    uint32_t MaxClients = 0;     // simultaneous listeners; 0: kDefaultMaxClients
    std::string ListenAddress;   // IPv4 address to listen on; "": every interface

    // Returns at once. Throws Error("Component is Busy") while Starting or
    // Running, changing nothing, and Error("No input") without an Input.
    // Otherwise the output is Starting, and the worker either reaches Running
    // or fails and goes back to Idle with Status().error set.
    void Start();

    // Ends the stream: listeners disconnected, the archive file closed, the
    // capture closed, the output Idle with no error. Waits for the worker and
    // the server's polling thread, which end within a fraction of a second; after
    // it returns no status callback runs. Harmless when Idle.
    void Stop();

    // While paused the stream carries silence in place of the capture; the
    // listeners stay connected. Only while Starting or Running; Start
    // begins unpaused.
    void SetPaused(bool paused);

    OutputStatus Status() const;

    // `callback` is called after every change of Status() (state, listener
    // count, pause) from the output's threads, never under its locks; it
    // must return quickly and must not call Start or Stop, so a window posts
    // it to its own thread. Replacing it waits for a call in progress.
    void SetStatusCallback(std::function<void()> callback);

private:
    struct Plan;
    void run(Plan plan);
    void setState(OutputState state, const std::string &error);
    void notify();

    mutable std::mutex mutex_; // guards status_ and stop_requested_
    std::condition_variable wake_;
    OutputStatus status_;
    bool stop_requested_ = false;
    std::thread worker_;

    std::mutex callback_mutex_;
    std::function<void()> callback_;
};

} // namespace broadcast
