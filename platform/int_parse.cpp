#include "platform/int_parse.h"

namespace platform {

namespace {

int hexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

} // namespace

std::optional<int32_t> TryStrToInt(const QString &text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }

    bool hex = false;
    if (i < n && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        hex = true;
        i += 2;
    }

    if (i == n)
        return std::nullopt;

    if (hex) {
        if (n - i > 8)
            return std::nullopt;
        uint32_t value = 0;
        for (; i < n; ++i) {
            const int d = hexDigit(text[i]);
            if (d < 0)
                return std::nullopt;
            value = value * 16 + static_cast<uint32_t>(d);
        }
        if (negative)
            value = 0u - value;
        return static_cast<int32_t>(value);
    }

    // Accumulate the magnitude in 64 bits; the limit admits -2147483648.
    const int64_t limit = negative ? 2147483648LL : 2147483647LL;
    int64_t magnitude = 0;
    for (; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (u < '0' || u > '9')
            return std::nullopt;
        magnitude = magnitude * 10 + (u - '0');
        if (magnitude > limit)
            return std::nullopt;
    }
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

int32_t StrToInt(const QString &text) {
    if (const auto value = TryStrToInt(text))
        return *value;
    throw Error(QStringLiteral("'%1' is not a valid integer value").arg(text));
}

int32_t StrToIntDef(const QString &text, int32_t fallback) {
    return TryStrToInt(text).value_or(fallback);
}

} // namespace platform
