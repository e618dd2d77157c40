#include "broadcast/packet_log.h"

#include <algorithm>
#include <utility>

namespace broadcast {

PacketLog::PacketLog(std::string header, std::size_t capacity_packets)
    : header_(std::move(header)), capacity_(std::max<std::size_t>(1, capacity_packets)) {}

void PacketLog::Append(std::string packet) {
    auto shared = std::make_shared<const std::string>(std::move(packet));
    std::lock_guard lock(mutex_);
    packets_.push_back(std::move(shared));
    if (packets_.size() > capacity_) {
        packets_.pop_front();
        ++first_number_;
    }
}

void PacketLog::Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
}

uint64_t PacketLog::LiveEdge() const {
    std::lock_guard lock(mutex_);
    return packets_.empty() ? first_number_ : first_number_ + packets_.size() - 1;
}

uint64_t PacketLog::Oldest() const {
    std::lock_guard lock(mutex_);
    return first_number_;
}

uint64_t PacketLog::End() const {
    std::lock_guard lock(mutex_);
    return first_number_ + packets_.size();
}

PacketLog::Result PacketLog::Read(uint64_t number,
                                  std::shared_ptr<const std::string> &packet) const {
    std::lock_guard lock(mutex_);
    if (number < first_number_)
        return Result::Behind;
    if (number < first_number_ + packets_.size()) {
        packet = packets_[number - first_number_];
        return Result::Packet;
    }
    return closed_ ? Result::Closed : Result::Pending;
}

} // namespace broadcast
