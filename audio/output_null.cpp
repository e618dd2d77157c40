// The null output: a thread that renders as many frames as the steady clock
// says have played, every 20 ms (a sound card's period), and throws them
// away. An ideal
// clock, unlike SDL's dummy driver, which runs slow.

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "audio/output_backend.h"

namespace audio {

namespace {

constexpr std::size_t kBlockFrames = 4096;
constexpr std::chrono::milliseconds kPeriod{20};
// After a longer stall (a suspended machine) the clock skips ahead rather
// than racing through the backlog.
constexpr std::chrono::milliseconds kMaxCatchUp{200};

struct NullOutput {
    RenderFunction render;
    void *context;
    uint32_t rateHz;
    std::unique_ptr<float[]> block = std::make_unique<float[]>(kBlockFrames * 2);
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    std::thread thread;

    void run() {
        using Clock = std::chrono::steady_clock;
        auto start = Clock::now();
        uint64_t rendered = 0;
        std::unique_lock lock(mutex);
        while (!stopping) {
            const auto elapsed = Clock::now() - start;
            if (elapsed - std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                              static_cast<double>(rendered) / rateHz)) >
                kMaxCatchUp) {
                start = Clock::now();
                rendered = 0;
                continue;
            }
            const auto due =
                static_cast<uint64_t>(std::chrono::duration<double>(elapsed).count() * rateHz);
            if (due > rendered) {
                const auto frames =
                    static_cast<std::size_t>(std::min<uint64_t>(due - rendered, kBlockFrames));
                lock.unlock();
                render(context, block.get(), frames);
                lock.lock();
                rendered += frames;
                continue;
            }
            wake.wait_for(lock, kPeriod, [this] { return stopping; });
        }
    }
};

void *openNull(const char *, uint32_t rate_hz, RenderFunction render, void *context) {
    auto output = std::make_unique<NullOutput>();
    output->render = render;
    output->context = context;
    output->rateHz = rate_hz;
    output->thread = std::thread([raw = output.get()] { raw->run(); });
    return output.release();
}

void closeNull(void *backend) {
    std::unique_ptr<NullOutput> output(static_cast<NullOutput *>(backend));
    {
        std::lock_guard lock(output->mutex);
        output->stopping = true;
    }
    output->wake.notify_all();
    output->thread.join();
}

} // namespace

const OutputBackendOps kNullOutput = {"null", openNull, closeNull};

} // namespace audio
