#include "platform/http_client.h"

#include <curl/curl.h>

#include "platform/error.h"

namespace platform {

namespace {

// libcurl's global state, set up once for the process.
void initCurl() {
    static const bool done = [] {
        return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    }();
    (void)done;
}

std::size_t appendBody(char *data, std::size_t size, std::size_t count, void *body) {
    static_cast<QByteArray *>(body)->append(data, static_cast<qsizetype>(size * count));
    return size * count;
}

std::size_t keepStatusLine(char *data, std::size_t size, std::size_t count, void *line) {
    auto *status = static_cast<QByteArray *>(line);
    const QByteArray header(data, static_cast<qsizetype>(size * count));
    if (header.startsWith("HTTP/"))
        *status = header.trimmed();
    return size * count;
}

} // namespace

struct HttpClient::Handle {
    CURL *curl = nullptr;
    curl_slist *headers = nullptr;
    ~Handle() {
        curl_slist_free_all(headers);
        if (curl)
            curl_easy_cleanup(curl);
    }
};

HttpClient::HttpClient() : handle_(std::make_unique<Handle>()) {
    initCurl();
    handle_->curl = curl_easy_init();
    if (!handle_->curl)
        return;
    handle_->headers = curl_slist_append(handle_->headers, "Accept: text/html, */*");
    handle_->headers = curl_slist_append(handle_->headers, "Content-Type: text/html");
    CURL *curl = handle_->curl;
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, handle_->headers);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Mozilla/3.0 (compatible; Indy Library)");
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(curl, CURLOPT_PROXY, ""); // direct, whatever the environment says
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_COOKIEFILE, ""); // cookies in memory, for this client's life
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
}

HttpClient::~HttpClient() = default;

QByteArray HttpClient::Get(const QString &url, std::chrono::milliseconds timeout) {
    CURL *curl = handle_->curl;
    if (!curl)
        throw Error(QStringLiteral("The HTTP client could not be created"));
    QByteArray body;
    QByteArray statusLine;
    char message[CURL_ERROR_SIZE] = {};
    const QByteArray address = url.toUtf8();
    curl_easy_setopt(curl, CURLOPT_URL, address.constData());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout.count()));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, keepStatusLine);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &statusLine);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, message);
    const CURLcode result = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    if (result != CURLE_OK)
        throw Error(QString::fromUtf8(message[0] ? message : curl_easy_strerror(result)));
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299)
        throw Error(statusLine.isEmpty() ? QStringLiteral("HTTP status %1").arg(status)
                                         : QString::fromLatin1(statusLine));
    return body;
}

} // namespace platform
