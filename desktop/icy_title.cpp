#include "desktop/icy_title.h"

namespace desktop {

namespace {

// Whether `text` from `at` on is the end of the metadata or the next
// "Key='" pair, which is what may follow a value's closing "';".
bool endOfValueAt(const QString &text, qsizetype at) {
    qsizetype i = at;
    while (i < text.size() && (text[i].isSpace() || text[i] == QChar(0)))
        ++i;
    if (i == text.size())
        return true;
    const qsizetype keyStart = i;
    while (i < text.size() && (text[i].isLetterOrNumber() || text[i] == u'_'))
        ++i;
    return i > keyStart && i + 1 < text.size() && text[i] == u'=' && text[i + 1] == u'\'';
}

QString trimmed(QString value) {
    value.remove(QChar(0));
    return value.trimmed();
}

} // namespace

QString StreamTitle(const QString &metadata) {
    static const QString key = QStringLiteral("StreamTitle='");
    const qsizetype keyAt = metadata.indexOf(key, 0, Qt::CaseInsensitive);
    if (keyAt < 0)
        return {};
    const qsizetype begin = keyAt + key.size();
    for (qsizetype end = metadata.indexOf(QStringLiteral("';"), begin); end >= 0;
         end = metadata.indexOf(QStringLiteral("';"), end + 1)) {
        if (endOfValueAt(metadata, end + 2))
            return trimmed(metadata.mid(begin, end - begin));
    }
    QString rest = trimmed(metadata.mid(begin));
    if (rest.endsWith(u'\''))
        rest.chop(1);
    return rest.trimmed();
}

} // namespace desktop
