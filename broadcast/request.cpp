#include "broadcast/request.h"

#include <algorithm>
#include <cctype>

namespace broadcast {

namespace {

bool EqualFold(char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) ==
           std::tolower(static_cast<unsigned char>(b));
}

bool ContainsFold(std::string_view text, std::string_view key) {
    return std::search(text.begin(), text.end(), key.begin(), key.end(), EqualFold) != text.end();
}

bool StartsWithFold(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), EqualFold);
}

// "xPlayStrm=1" as a whole key: not followed by another digit.
bool AsksToPlay(std::string_view pragma) {
    constexpr std::string_view key = "xplaystrm=1";
    for (std::size_t at = 0; at + key.size() <= pragma.size(); ++at) {
        if (std::equal(key.begin(), key.end(), pragma.begin() + static_cast<std::ptrdiff_t>(at),
                       EqualFold) &&
            (at + key.size() == pragma.size() ||
             !std::isdigit(static_cast<unsigned char>(pragma[at + key.size()]))))
            return true;
    }
    return false;
}

} // namespace

Reply ClassifyRequest(std::string_view method, std::string_view user_agent,
                      const std::vector<std::string> &pragmas) {
    const bool head = method == "HEAD";
    if (!head && method != "GET")
        return Reply::MethodNotAllowed;
    bool mms = StartsWithFold(user_agent, "NSPlayer/");
    bool play = false;
    for (const std::string &pragma : pragmas) {
        mms = mms || ContainsFold(pragma, "xplaystrm=");
        play = play || AsksToPlay(pragma);
    }
    if (!mms)
        return head ? Reply::PlainHead : Reply::PlainStream;
    if (head)
        return Reply::MmsHead;
    return play ? Reply::MmsStream : Reply::MmsDescribe;
}

} // namespace broadcast
