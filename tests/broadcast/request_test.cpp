#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "broadcast/packet_log.h"
#include "broadcast/request.h"

namespace {

using broadcast::ClassifyRequest;
using broadcast::Reply;

TEST(ClassifyRequest, ChoosesFramingAndReply) {
    struct Case {
        const char *name;
        const char *method;
        const char *agent;
        std::vector<std::string> pragmas;
        Reply reply;
    };
    const Case cases[] = {
        {"browser", "GET", "Mozilla/5.0", {}, Reply::PlainStream},
        {"mpv", "GET", "libmpv", {"no-cache"}, Reply::PlainStream},
        {"no agent", "GET", "", {}, Reply::PlainStream},
        {"head", "HEAD", "curl/7.88", {}, Reply::PlainHead},
        {"post", "POST", "curl/7.88", {}, Reply::MethodNotAllowed},
        {"lower-case get", "get", "curl/7.88", {}, Reply::MethodNotAllowed},
        {"options", "OPTIONS", "", {}, Reply::MethodNotAllowed},
        {"wmp describe",
         "GET",
         "NSPlayer/12.00.19041 WMFSDK/12.00",
         {"no-cache,rate=1.000000"},
         Reply::MmsDescribe},
        {"agent case", "GET", "nsplayer/4.1.0.3856", {}, Reply::MmsDescribe},
        {"wmp play",
         "GET",
         "NSPlayer/4.1.0.3856",
         {"no-cache,rate=1.000000,request-context=2", "xPlayStrm=1"},
         Reply::MmsStream},
        {"glued pragma lines",
         "GET",
         "NSPlayer/4.1.0.3856",
         {"no-cache,rate=1.000000,stream-time=0Connection: Close xPlayStrm=1"},
         Reply::MmsStream},
        {"play without agent", "GET", "", {"xPlayStrm=1"}, Reply::MmsStream},
        {"play flag off", "GET", "", {"xPlayStrm=0"}, Reply::MmsDescribe},
        {"play flag 12", "GET", "NSPlayer/9", {"xPlayStrm=12"}, Reply::MmsDescribe},
        {"agent elsewhere", "GET", "Mozilla NSPlayer/9", {}, Reply::PlainStream},
        {"wmp head", "HEAD", "NSPlayer/9", {"xPlayStrm=1"}, Reply::MmsHead},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ClassifyRequest(c.method, c.agent, c.pragmas), c.reply) << c.name;
}

using broadcast::PacketLog;

TEST(PacketLog, ReadersFollowTheLiveEdgeAndFallBehind) {
    PacketLog log("header", 3);
    EXPECT_EQ(log.Header(), "header");
    EXPECT_EQ(log.LiveEdge(), 0u);
    EXPECT_EQ(log.End(), 0u);
    std::shared_ptr<const std::string> packet;
    EXPECT_EQ(log.Read(0, packet), PacketLog::Result::Pending);
    for (int i = 0; i < 5; ++i)
        log.Append("p" + std::to_string(i));
    EXPECT_EQ(log.Oldest(), 2u);
    EXPECT_EQ(log.LiveEdge(), 4u);
    EXPECT_EQ(log.End(), 5u);
    EXPECT_EQ(log.Read(1, packet), PacketLog::Result::Behind);
    ASSERT_EQ(log.Read(2, packet), PacketLog::Result::Packet);
    EXPECT_EQ(*packet, "p2");
    EXPECT_EQ(log.Read(5, packet), PacketLog::Result::Pending);
    log.Close();
    ASSERT_EQ(log.Read(4, packet), PacketLog::Result::Packet);
    EXPECT_EQ(*packet, "p4");
    EXPECT_EQ(log.Read(5, packet), PacketLog::Result::Closed);
}

} // namespace
