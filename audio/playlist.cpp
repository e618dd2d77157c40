#include "audio/playlist.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>

#include <curl/curl.h>

namespace audio {

namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char &c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

bool endsWith(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\n' || text[i] == '\r') {
            lines.push_back(text.substr(start, i - start));
            if (i + 1 < text.size() && text[i] == '\r' && text[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
    }
    return lines;
}

bool plausibleEntry(std::string_view entry) {
    return !entry.empty() && std::none_of(entry.begin(), entry.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7f;
    });
}

std::string decodeXmlEntities(std::string_view s) {
    static constexpr std::pair<std::string_view, char> kEntities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        bool replaced = false;
        for (const auto &[name, c] : kEntities) {
            if (s.substr(i, name.size()) == name) {
                out += c;
                i += name.size();
                replaced = true;
                break;
            }
        }
        if (!replaced)
            out += s[i++];
    }
    return out;
}

std::vector<std::string> parsePls(const std::vector<std::string_view> &lines) {
    std::map<long, std::string> files;
    for (std::string_view line : lines) {
        line = trim(line);
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            continue;
        const std::string key = lower(trim(line.substr(0, eq)));
        if (key.size() <= 4 || key.compare(0, 4, "file") != 0)
            continue;
        long number = 0;
        bool digits = true;
        for (char c : std::string_view(key).substr(4)) {
            digits = digits && std::isdigit(static_cast<unsigned char>(c));
            if (digits && number < 1000000)
                number = number * 10 + (c - '0');
        }
        const std::string_view value = trim(line.substr(eq + 1));
        if (digits && plausibleEntry(value))
            files.emplace(number, std::string(value));
    }
    std::vector<std::string> entries;
    for (auto &[number, value] : files)
        entries.push_back(std::move(value));
    return entries;
}

std::vector<std::string> parseAsx(std::string_view text) {
    std::vector<std::string> entries;
    const std::string folded = lower(text);
    std::size_t at = 0;
    while ((at = folded.find('<', at)) != std::string::npos) {
        const std::size_t end = folded.find('>', at);
        if (end == std::string::npos)
            break;
        const std::string_view tag = std::string_view(folded).substr(at + 1, end - at - 1);
        const bool isRef = tag.substr(0, 4) == "ref " || tag.substr(0, 9) == "entryref ";
        const std::size_t href = tag.find("href");
        if (isRef && href != std::string_view::npos) {
            std::size_t v = tag.find('=', href);
            if (v != std::string_view::npos) {
                ++v;
                while (v < tag.size() && tag[v] == ' ')
                    ++v;
                if (v < tag.size() && (tag[v] == '"' || tag[v] == '\'')) {
                    const std::size_t close = tag.find(tag[v], v + 1);
                    if (close != std::string_view::npos) {
                        // Take the value from the original text: case matters in paths.
                        const std::string value =
                            decodeXmlEntities(trim(text.substr(at + 1 + v + 1, close - v - 1)));
                        if (plausibleEntry(value))
                            entries.push_back(value);
                    }
                }
            }
        }
        at = end + 1;
    }
    return entries;
}

std::vector<std::string> parseM3u(const std::vector<std::string_view> &lines) {
    std::vector<std::string> entries;
    for (std::string_view line : lines) {
        line = trim(line);
        if (line.substr(0, 7) == "#EXT-X-")
            return {}; // HLS: a segment list, not a list of stations
        if (line.empty() || line.front() == '#')
            continue;
        if (plausibleEntry(line))
            entries.emplace_back(line);
    }
    return entries;
}

struct UrlFree {
    void operator()(CURLU *u) const { curl_url_cleanup(u); }
};
struct CurlStringFree {
    void operator()(char *s) const { curl_free(s); }
};

} // namespace

bool LooksLikePlaylist(std::string_view media_type, std::string_view url) {
    static constexpr std::string_view kTypes[] = {"audio/x-scpls",
                                                  "audio/scpls",
                                                  "application/pls+xml",
                                                  "audio/x-mpegurl",
                                                  "audio/mpegurl",
                                                  "application/x-mpegurl",
                                                  "application/vnd.apple.mpegurl",
                                                  "video/x-ms-asf",
                                                  "video/x-ms-asx",
                                                  "audio/x-ms-asx",
                                                  "application/x-ms-asx"};
    if (std::find(std::begin(kTypes), std::end(kTypes), media_type) != std::end(kTypes))
        return true;
    if (media_type.substr(0, 5) == "text/")
        return true;
    const std::string path = lower(url.substr(0, url.find_first_of("?#")));
    return endsWith(path, ".pls") || endsWith(path, ".m3u") || endsWith(path, ".asx");
}

std::vector<std::string> ParsePlaylist(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    const std::string_view body = trim(text);
    const std::string start = lower(body.substr(0, 16));
    if (start.compare(0, 10, "[playlist]") == 0)
        return parsePls(splitLines(body));
    if (start.compare(0, 4, "<asx") == 0 ||
        (start.compare(0, 5, "<?xml") == 0 && lower(body).find("<asx") != std::string::npos))
        return parseAsx(body);
    return parseM3u(splitLines(body));
}

std::optional<std::string> ResolveEntry(std::string_view base_url, std::string_view entry) {
    std::unique_ptr<CURLU, UrlFree> url(curl_url());
    if (!url)
        return std::nullopt;
    const std::string base(base_url);
    const std::string relative(entry);
    if (curl_url_set(url.get(), CURLUPART_URL, base.c_str(), 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_URL, relative.c_str(), 0) != CURLUE_OK)
        return std::nullopt;
    char *scheme = nullptr;
    if (curl_url_get(url.get(), CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK)
        return std::nullopt;
    const std::unique_ptr<char, CurlStringFree> schemeOwner(scheme);
    const std::string s = lower(scheme);
    if (s != "http" && s != "https")
        return std::nullopt;
    char *full = nullptr;
    if (curl_url_get(url.get(), CURLUPART_URL, &full, 0) != CURLUE_OK)
        return std::nullopt;
    const std::unique_ptr<char, CurlStringFree> fullOwner(full);
    return std::string(full);
}

} // namespace audio
