#include "platform/formats.h"

#include <QRegularExpression>

namespace platform {

namespace {

// Removes the time-zone field ("t", "tt", "ttt", "tttt") of a Qt time format
// together with the blanks before it; quoted literal text is kept.
QString withoutTimeZone(const QString &format) {
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == u'\'') {
            quoted = !quoted;
            out += c;
        } else if (!quoted && c == u't') {
            while (!out.isEmpty() && out.back().isSpace())
                out.chop(1);
        } else {
            out += c;
        }
    }
    return out.trimmed();
}

} // namespace

QString ShortDateFormat(const QLocale &locale) {
    return locale.dateFormat(QLocale::ShortFormat);
}

QString LongTimeFormat(const QLocale &locale) {
    return withoutTimeZone(locale.timeFormat(QLocale::LongFormat));
}

QString TimeSeparator(const QLocale &locale) {
    const QString format = locale.timeFormat(QLocale::ShortFormat);
    const qsizetype hours = format.indexOf(QRegularExpression(QStringLiteral("[hH]")));
    if (hours < 0)
        return QStringLiteral(":");
    qsizetype start = hours;
    while (start < format.size() && (format[start] == u'h' || format[start] == u'H'))
        ++start;
    qsizetype end = start;
    while (end < format.size() && format[end] != u'm')
        ++end;
    if (end == start || end == format.size())
        return QStringLiteral(":");
    QString separator = format.mid(start, end - start);
    separator.remove(u'\'');
    return separator.isEmpty() ? QStringLiteral(":") : separator;
}

QString FormatShortDate(const QDate &date, const QLocale &locale) {
    return locale.toString(date, ShortDateFormat(locale));
}

QString FormatLongTime(const QTime &time, const QLocale &locale) {
    return locale.toString(time, LongTimeFormat(locale));
}

} // namespace platform
