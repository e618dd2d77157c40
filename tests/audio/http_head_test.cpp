#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "audio/http_head.h"

namespace {

using audio::ParseMetaint;
using audio::ParseStatusCode;
using audio::ResponseHead;

TEST(HttpHead, StatusCodesOfHttpAndShoutcastLines) {
    const struct {
        const char *line;
        std::optional<int> code;
    } cases[] = {
        {"HTTP/1.0 200 OK\r\n", 200},
        {"HTTP/1.1 404 Not Found", 404},
        {"HTTP/2 302", 302},
        {"ICY 200 OK\r\n", 200},
        {"ICY 401 Service Unavailable", 401},
        {"ICY200 OK", std::nullopt},
        {"HTTP/1.1 20 OK", std::nullopt},
        {"HTTP/1.1 2000 OK", std::nullopt},
        {"HTTP/ 200 OK", std::nullopt},
        {"Content-Type: audio/mpeg", std::nullopt},
        {"", std::nullopt},
        {"HTTP/1.1 099 Low", std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ParseStatusCode(c.line), c.code) << c.line;
}

TEST(HttpHead, MetaintAcceptsOnlyPlausibleNumbers) {
    const struct {
        const char *value;
        std::size_t bytes;
    } cases[] = {
        {"16000", 16000},
        {" 8192 \r\n", 8192},
        {"0", 0},
        {"", 0},
        {"-1", 0},
        {"12ab", 0},
        {"1e5", 0},
        {"99999999999999999999", 0},
        {"1048576", 1 << 20},
        {"1048577", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ParseMetaint(c.value), c.bytes) << c.value;
}

TEST(HttpHead, MediaTypeDropsParametersAndCase) {
    EXPECT_EQ(audio::MediaType("Audio/MPEG; charset=utf-8"), "audio/mpeg");
    EXPECT_EQ(audio::MediaType("  audio/aacp "), "audio/aacp");
    EXPECT_EQ(audio::MediaType(""), "");
}

TEST(HttpHead, KeepsTheFinalResponseAfterRedirectsAsATagBlock) {
    ResponseHead head;
    for (const char *line :
         {"HTTP/1.1 302 Found\r\n", "Location: /next\r\n", "\r\n", "ICY 200 OK\r\n",
          "icy-metaint:16000\r\n", "Content-Type: audio/mpeg\r\n", "\r\n"})
        ASSERT_TRUE(head.AddLine(line));
    EXPECT_TRUE(head.Complete());
    EXPECT_EQ(head.Status(), 200);
    EXPECT_EQ(head.Header("ICY-METAINT"), "16000");
    EXPECT_EQ(head.Header("location"), "");
    static constexpr char kBlock[] = "ICY 200 OK\0icy-metaint:16000\0Content-Type: audio/mpeg\0\0";
    const std::string expected(kBlock, sizeof kBlock - 1);
    EXPECT_EQ(head.TagBlock(), expected);
}

TEST(HttpHead, RefusesAHeadBeyondItsBound) {
    ResponseHead head;
    ASSERT_TRUE(head.AddLine("HTTP/1.0 200 OK\r\n"));
    const std::string line = "X-Filler: " + std::string(1000, 'a') + "\r\n";
    bool accepted = true;
    for (int i = 0; i < 100 && accepted; ++i)
        accepted = head.AddLine(line);
    EXPECT_FALSE(accepted);
}

} // namespace
