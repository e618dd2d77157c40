#include <string>

#include <curl/curl.h>
#include <gtest/gtest.h>

#include "tests/support/loopback_server.h"

namespace {

struct Fetched {
    long status = 0;
    std::string headers;
    std::string body;
};

std::size_t append(char *data, std::size_t size, std::size_t count, void *out) {
    static_cast<std::string *>(out)->append(data, size * count);
    return size * count;
}

Fetched fetch(const std::string &url) {
    Fetched result;
    CURL *curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, append);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &result.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, append);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &result.headers);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "test agent");
    curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
    curl_easy_cleanup(curl);
    return result;
}

TEST(LoopbackServer, ServesTheChosenResponseAndRecordsRequests) {
    testsupport::HttpResponse response;
    response.status = 404;
    response.reason = "Not Found";
    response.headers = {{"Set-Cookie", "session=abc"}, {"Content-Type", "text/plain"}};
    response.body = std::string("body\0bytes", 10);
    testsupport::LoopbackServer server(response);

    const Fetched got = fetch(server.Url("/velotunever.txt?x=1"));
    EXPECT_EQ(got.status, 404);
    EXPECT_NE(got.headers.find("Set-Cookie: session=abc\r\n"), std::string::npos);
    EXPECT_EQ(got.body, response.body);

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/velotunever.txt?x=1");
    EXPECT_EQ(requests[0].Header("user-agent"), "test agent");
}

TEST(LoopbackServer, StopsAStallingHandler) {
    // A handler that would stall forever ends when the server goes.
    auto server = std::make_unique<testsupport::LoopbackServer>(
        [](const testsupport::HttpRequest &, testsupport::Connection &c) {
            c.Send("ICY 200 OK\r\n\r\n");
            while (c.Pause(std::chrono::milliseconds(1000))) {
            }
        });
    CURL *curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, server->Url().c_str());
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 300L);
    curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    EXPECT_TRUE(server->WaitForRequests(1, std::chrono::seconds(5)));
    server.reset();
}

} // namespace
