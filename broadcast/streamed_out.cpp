#include "broadcast/streamed_out.h"

#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "broadcast/listener_server.h"
#include "broadcast/packet_log.h"
#include "broadcast/wma_stream.h"

namespace broadcast {

namespace {

// Audio a listener may fall behind the live edge before it is dropped.
constexpr double kBacklogSeconds = 4.0;

} // namespace

// Everything the worker needs, copied from the settings when Start is called.
struct TWMStreamedOut::Plan {
    CaptureSource *source = nullptr;
    int device_number = 0;
    CaptureFormat format;
    uint32_t buffer_frames = 0;
    std::chrono::milliseconds polling_interval{50};
    uint64_t desired_bps = 0;
    std::string file_name;
    ServerSettings server;
};

std::string StatusLine(const OutputStatus &status) {
    switch (status.state) {
    case OutputState::Idle:
        return status.error;
    case OutputState::Starting:
        return "Starting...";
    case OutputState::Running:
        break;
    }
    std::string line = "Streaming on port " + std::to_string(status.port) + " \u00b7 " +
                       std::to_string(status.listeners) +
                       (status.listeners == 1 ? " listener" : " listeners");
    if (status.paused)
        line += " \u00b7 paused";
    return line;
}

TWMStreamedOut::~TWMStreamedOut() {
    Stop();
}

void TWMStreamedOut::Start() {
    {
        std::lock_guard lock(mutex_);
        if (status_.state != OutputState::Idle)
            throw Error("Component is Busy");
    }
    if (Input == nullptr)
        throw Error("No input");
    // A worker that failed has set Idle as its last change; it is ending.
    if (worker_.joinable())
        worker_.join();

    Plan plan;
    plan.source = &Input->Source();
    plan.device_number = Input->DeviceNumber;
    plan.format = Input->Format();
    plan.buffer_frames = Input->BufferFrames();
    plan.polling_interval = Input->PollingInterval();
    plan.desired_bps = DesiredBitsPerSecond(DesiredBitrate);
    plan.file_name = FileName;
    plan.server.address = ListenAddress;
    plan.server.port = Port;
    plan.server.max_listeners = MaxClients == 0 ? kDefaultMaxClients : MaxClients;
    {
        std::lock_guard lock(mutex_);
        status_ = OutputStatus{};
        status_.state = OutputState::Starting;
        stop_requested_ = false;
    }
    worker_ = std::thread(&TWMStreamedOut::run, this, std::move(plan));
    notify();
}

void TWMStreamedOut::Stop() {
    {
        std::lock_guard lock(mutex_);
        stop_requested_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable())
        worker_.join();
    bool changed = false;
    {
        std::lock_guard lock(mutex_);
        stop_requested_ = false;
        changed = !status_.error.empty();
        status_.error.clear();
    }
    if (changed)
        notify();
}

void TWMStreamedOut::SetPaused(bool paused) {
    {
        std::lock_guard lock(mutex_);
        if (status_.state == OutputState::Idle || status_.paused == paused)
            return;
        status_.paused = paused;
    }
    notify();
}

OutputStatus TWMStreamedOut::Status() const {
    std::lock_guard lock(mutex_);
    return status_;
}

void TWMStreamedOut::SetStatusCallback(std::function<void()> callback) {
    std::lock_guard lock(callback_mutex_);
    callback_ = std::move(callback);
}

void TWMStreamedOut::notify() {
    std::lock_guard lock(callback_mutex_);
    if (callback_)
        callback_();
}

void TWMStreamedOut::setState(OutputState state, const std::string &error) {
    std::lock_guard lock(mutex_);
    status_ = OutputStatus{};
    status_.state = state;
    status_.error = error;
}

void TWMStreamedOut::run(Plan plan) {
    std::string error;
    CaptureSource &source = *plan.source;
    bool capturing = false;
    try {
        if (std::string failure = source.Open(plan.device_number, plan.format, plan.buffer_frames);
            !failure.empty())
            throw Error(failure);
        capturing = true;

        WmaEncoder encoder(plan.format, plan.desired_bps);
        const uint32_t packet_size = AsfPacketSize(encoder.FrameBytes());
        AsfMuxer plain(AsfFraming::Plain, *encoder.Context(), packet_size);
        AsfMuxer mms(AsfFraming::Mms, *encoder.Context(), packet_size);
        std::unique_ptr<AsfMuxer> archive;
        if (!plan.file_name.empty())
            archive = std::make_unique<AsfMuxer>(plan.file_name, *encoder.Context(), packet_size);

        const auto backlog_packets =
            static_cast<std::size_t>(
                std::ceil(kBacklogSeconds * encoder.BitsPerSecond() / 8.0 / packet_size)) +
            1;
        PacketLog plain_log(plain.Header(), backlog_packets);
        PacketLog mms_log(mms.Header(), backlog_packets);
        {
            ListenerServer server(plan.server, plain_log, mms_log, [this](unsigned listeners) {
                {
                    std::lock_guard lock(mutex_);
                    status_.listeners = listeners;
                }
                notify();
            });
            bool stop = false;
            {
                std::lock_guard lock(mutex_);
                stop = stop_requested_;
                status_.state = OutputState::Running;
                status_.port = server.Port();
                status_.bitrate_bps = encoder.BitsPerSecond();
                status_.max_listeners = plan.server.max_listeners;
            }
            notify();

            std::vector<uint8_t> pcm;
            std::vector<std::string> plain_done;
            std::vector<std::string> mms_done;
            std::vector<std::string> archive_done;
            const auto mux = [&](const AVPacket &packet) {
                plain.Write(packet, plain_done);
                mms.Write(packet, mms_done);
                if (archive)
                    archive->Write(packet, archive_done);
            };
            while (!stop) {
                bool paused = false;
                {
                    std::unique_lock lock(mutex_);
                    wake_.wait_for(lock, plan.polling_interval, [&] { return stop_requested_; });
                    stop = stop_requested_;
                    paused = status_.paused;
                }
                pcm.clear();
                source.Read(pcm);
                encoder.Encode(pcm.data(), pcm.size(), paused, mux);
                for (std::string &packet : plain_done)
                    plain_log.Append(std::move(packet));
                for (std::string &packet : mms_done)
                    mms_log.Append(std::move(packet));
                plain_done.clear();
                mms_done.clear();
                server.Sweep();
            }
            plain_log.Close();
            mms_log.Close();
        }
        if (archive)
            archive->Finish();
    } catch (const std::exception &failure) {
        error = failure.what();
    }
    if (capturing)
        source.Close();
    setState(OutputState::Idle, error);
    notify();
}

} // namespace broadcast
