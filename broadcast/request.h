#pragma once

// What a listener's HTTP request asks for. Windows Media players identify
// themselves by "User-Agent: NSPlayer/..." or an xPlayStrm pragma; they
// first ask for the stream's description (the header chunk alone) and then,
// with "Pragma: xPlayStrm=1", for the stream itself. Everyone else gets
// plain ASF. Header values are searched leniently: FFmpeg's client glues
// two pragma lines into one, so a pragma may hold any text around its keys.

#include <string>
#include <string_view>
#include <vector>

namespace broadcast {

enum class Reply {
    MethodNotAllowed, // anything but GET and HEAD: 405
    PlainHead,        // HEAD: the plain stream's response headers only
    PlainStream,      // video/x-ms-asf: header, then packets from the live edge
    MmsHead,          // HEAD from a Windows Media player
    MmsDescribe,      // application/x-mms-framed: the $H chunk, then close
    MmsStream,        // application/x-mms-framed: $H, then $D chunks
};

// `pragmas`: the values of every Pragma header, in any order.
Reply ClassifyRequest(std::string_view method, std::string_view user_agent,
                      const std::vector<std::string> &pragmas);

} // namespace broadcast
