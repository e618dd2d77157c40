#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "audio/playlist.h"

namespace {

using Entries = std::vector<std::string>;

TEST(Playlist, ParsesEachKindWithEveryLineEnding) {
    const struct {
        const char *name;
        std::string text;
        Entries entries;
    } cases[] = {
        {"pls, CR LF, numbered out of order",
         "[playlist]\r\nNumberOfEntries=2\r\nFile2=http://b/\r\nTitle1=One\r\nFile1=http://a/\r\n"
         "Version=2\r\n",
         {"http://a/", "http://b/"}},
        {"pls, LF, upper case keys", "[Playlist]\nFILE1 = http://a/ \n", {"http://a/"}},
        {"pls, CR only",
         "[playlist]\rFile1=http://a/\rFile2=http://b/\r",
         {"http://a/", "http://b/"}},
        {"m3u, plain", "http://a/\nhttp://b/\n", {"http://a/", "http://b/"}},
        {"extm3u, CR LF, comments",
         "#EXTM3U\r\n#EXTINF:-1,Station\r\nhttp://a/\r\n\r\n#x\r\nrelative.mp3\r\n",
         {"http://a/", "relative.mp3"}},
        {"m3u with a byte order mark", "\xEF\xBB\xBFhttp://a/\n", {"http://a/"}},
        {"hls is not a station list",
         "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\nseg1.ts\n",
         {}},
        {"asx, mixed case, entities",
         "<ASX version=\"3.0\">\n<Entry><REF HREF=\"http://a/x?p=1&amp;q=2\"/></Entry>\n"
         "<entry><ref href='http://b/'/></entry></asx>",
         {"http://a/x?p=1&q=2", "http://b/"}},
        {"asx with an xml declaration and a nested reference",
         "<?xml version=\"1.0\"?>\n<asx><entryref href=\"http://c/list.asx\"/></asx>",
         {"http://c/list.asx"}},
        {"binary garbage", std::string("\x01\x02\xff\xfe\x00\x10garbage\x7f", 14), {}},
        {"empty", "", {}},
        {"pls without entries", "[playlist]\nNumberOfEntries=0\n", {}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(audio::ParsePlaylist(c.text), c.entries) << c.name;
}

TEST(Playlist, TellsPlaylistsByTypeOrAddress) {
    const struct {
        const char *mediaType;
        const char *url;
        bool playlist;
    } cases[] = {
        {"audio/x-scpls", "http://h/listen", true},
        {"audio/x-mpegurl", "http://h/listen", true},
        {"video/x-ms-asf", "http://h/listen", true},
        {"text/plain", "http://h/listen", true},
        {"application/octet-stream", "http://h/radio.PLS?x=1", true},
        {"", "http://h/radio.m3u", true},
        {"audio/mpeg", "http://h/radio.asx#f", true},
        {"audio/mpeg", "http://h/stream", false},
        {"audio/aacp", "http://h/radio.m3u8", false},
        {"audio/mpeg", "http://h/pls/stream", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(audio::LooksLikePlaylist(c.mediaType, c.url), c.playlist)
            << c.mediaType << " " << c.url;
}

TEST(Playlist, ResolvesEntriesAgainstThePlaylistAndKeepsOnlyHttp) {
    const struct {
        const char *entry;
        std::optional<std::string> url;
    } cases[] = {
        {"http://other:8000/live", "http://other:8000/live"},
        {"HTTPS://secure/x", "https://secure/x"},
        {"stream.mp3", "http://host:81/lists/stream.mp3"},
        {"/root", "http://host:81/root"},
        {"file:///etc/passwd", std::nullopt},
        {"ftp://host/x", std::nullopt},
        {"mms://host/x", std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(audio::ResolveEntry("http://host:81/lists/radio.pls", c.entry), c.url) << c.entry;
}

} // namespace
