#pragma once

// The muxed stream of one framing as listeners read it: its header and its
// newest packets, numbered from 0 in the order they were muxed. Encoded once
// by the output's worker thread, read without waiting by the server's polling
// thread for every listener; a listener that falls further behind than the
// log keeps is told so and is dropped, so a slow listener never holds up the
// capture or the others.

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

namespace broadcast {

class PacketLog {
public:
    // Keeps the newest `capacity_packets` packets (at least one) after `header`.
    PacketLog(std::string header, std::size_t capacity_packets);

    // Fixed for the log's life; any thread.
    const std::string &Header() const { return header_; }

    // Adds the next packet. Worker thread.
    void Append(std::string packet);
    // No packet follows; readers get Closed once they have read the rest.
    void Close();

    // The number of the packet a new listener starts with: the newest one,
    // so that a player gets whole packets at once.
    uint64_t LiveEdge() const;
    // The number of the oldest packet still kept.
    uint64_t Oldest() const;
    // The number the next appended packet will have.
    uint64_t End() const;

    enum class Result { Packet, Pending, Behind, Closed };
    // Stores packet `number` in `packet` if the log has it. Pending: it has
    // not been appended yet; Behind: it has already been discarded; Closed:
    // it never will be appended. Any thread, never waits.
    Result Read(uint64_t number, std::shared_ptr<const std::string> &packet) const;

private:
    const std::string header_;
    const std::size_t capacity_;
    mutable std::mutex mutex_;
    std::deque<std::shared_ptr<const std::string>> packets_;
    uint64_t first_number_ = 0; // number of packets_.front()
    bool closed_ = false;
};

} // namespace broadcast
