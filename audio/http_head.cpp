#include "audio/http_head.h"

#include <algorithm>
#include <cctype>

namespace audio {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() &&
           (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

} // namespace

std::optional<int> ParseStatusCode(std::string_view line) {
    line = trim(line);
    std::size_t at = 0;
    if (startsWith(line, "HTTP/")) {
        at = 5;
        while (at < line.size() &&
               (std::isdigit(static_cast<unsigned char>(line[at])) || line[at] == '.'))
            ++at;
        if (at == 5)
            return std::nullopt;
    } else if (startsWith(line, "ICY")) {
        at = 3;
    } else {
        return std::nullopt;
    }
    if (at >= line.size() || line[at] != ' ')
        return std::nullopt;
    ++at;
    if (line.size() < at + 3)
        return std::nullopt;
    int code = 0;
    for (std::size_t i = at; i < at + 3; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(line[i])))
            return std::nullopt;
        code = code * 10 + (line[i] - '0');
    }
    if (line.size() > at + 3 && line[at + 3] != ' ')
        return std::nullopt;
    if (code < 100)
        return std::nullopt;
    return code;
}

std::size_t ParseMetaint(std::string_view value) {
    value = trim(value);
    if (value.empty() || value.size() > 8)
        return 0;
    std::size_t bytes = 0;
    for (char c : value) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return 0;
        bytes = bytes * 10 + static_cast<std::size_t>(c - '0');
    }
    return bytes <= kMaxMetaintBytes ? bytes : 0;
}

std::string MediaType(std::string_view content_type) {
    std::string out(trim(content_type.substr(0, content_type.find(';'))));
    for (char &c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool ResponseHead::AddLine(std::string_view raw_line) {
    const std::string_view line = trim(raw_line);
    if (const auto code = ParseStatusCode(line)) {
        lines_.clear();
        bytes_ = 0;
        complete_ = false;
        status_ = *code;
    } else if (line.empty()) {
        complete_ = true;
        return true;
    }
    bytes_ += line.size() + 1;
    if (bytes_ > kMaxHeadBytes)
        return false;
    lines_.emplace_back(line);
    return true;
}

std::string ResponseHead::Header(std::string_view name) const {
    for (std::size_t i = status_ != 0 ? 1 : 0; i < lines_.size(); ++i) {
        const std::string_view line = lines_[i];
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos && equalsIgnoreCase(trim(line.substr(0, colon)), name))
            return std::string(trim(line.substr(colon + 1)));
    }
    return {};
}

std::string ResponseHead::TagBlock() const {
    std::string block;
    block.reserve(bytes_ + 1);
    for (const std::string &line : lines_) {
        block += line;
        block += '\0';
    }
    block += '\0';
    return block;
}

} // namespace audio
