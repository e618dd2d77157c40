#include "platform/text.h"

#include <QStringConverter>
#include <QStringDecoder>
#include <QStringList>

namespace platform {

QString DecodeText(const QByteArray &bytes) {
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes);
}

QString QtFileFilter(const QString &filter) {
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts);
        for (QString &pattern : patterns) {
            if (pattern == QLatin1String("*.*"))
                pattern = QStringLiteral("*");
        }
        QString name = parts[i];
        if (name.endsWith(u')') && name.contains(QLatin1String(" (")))
            name.truncate(name.lastIndexOf(QLatin1String(" (")));
        filters << QStringLiteral("%1 (%2)").arg(name, patterns.join(u' '));
    }
    return filters.join(QStringLiteral(";;"));
}

} // namespace platform
