#include "broadcast/packet_log.h"

#include <algorithm>
#include <utility>

namespace broadcast {

PacketLog::PacketLog(std::string header, std::size_t capacity_packets)
    : header_(std::move(header)), capacity_(std::max<std::size_t>(1, capacity_packets)) {}

void PacketLog::Append(std::string packet) {
    auto shared = std::make_shared<const std::string>(std::move(packet));
    {
        std::lock_guard lock(mutex_);
        packets_.push_back(std::move(shared));
        if (packets_.size() > capacity_) {
            packets_.pop_front();
            ++first_number_;
        }
    }
    appended_.notify_all();
}

void PacketLog::Close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    appended_.notify_all();
}

uint64_t PacketLog::LiveEdge() const {
    std::lock_guard lock(mutex_);
    return packets_.empty() ? first_number_ : first_number_ + packets_.size() - 1;
}

uint64_t PacketLog::Oldest() const {
    std::lock_guard lock(mutex_);
    return first_number_;
}

PacketLog::Result PacketLog::Wait(uint64_t number, std::chrono::milliseconds timeout,
                                  std::shared_ptr<const std::string> &packet) const {
    std::unique_lock lock(mutex_);
    const bool ready = appended_.wait_for(lock, timeout, [&] {
        return closed_ || number < first_number_ || number < first_number_ + packets_.size();
    });
    if (number < first_number_)
        return Result::Behind;
    if (number < first_number_ + packets_.size()) {
        packet = packets_[number - first_number_];
        return Result::Packet;
    }
    return ready ? Result::Closed : Result::Timeout;
}

} // namespace broadcast
