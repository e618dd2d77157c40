#include "playback/stream_player.h"

#include <cstring>

#include <QFile>
#include <QSaveFile>
#include <QUrl>

#include "audio/audio.h"
#include "platform/error.h"
#include "platform/formats.h"
#include "platform/text.h"

uint32_t CurrentChannel = 0;
QString CurrentURL;

namespace playback {

QString OpenCurrentStream(StreamFormat format) {
    BASS_StreamFree(CurrentChannel);
    BASS_SetConfig(BASS_CONFIG_NET_PLAYLIST, 1);
    const QByteArray url = CurrentURL.toUtf8();
    switch (format) {
    case StreamFormat::Mp3Mp4:
        CurrentChannel =
            BASS_StreamCreateURL(url.constData(), 0, BASS_STREAM_STATUS, nullptr, nullptr);
        break;
    case StreamFormat::Aac:
        CurrentChannel =
            BASS_AAC_StreamCreateURL(url.constData(), 0, BASS_STREAM_STATUS, nullptr, nullptr);
        break;
    case StreamFormat::Ac3:
        CurrentChannel =
            BASS_AC3_StreamCreateURL(url.constData(), 0, BASS_STREAM_STATUS, nullptr, nullptr);
        break;
    }
    if (CurrentChannel != 0)
        emit ChannelEvents::Instance().ChannelOpened(CurrentChannel);
    BASS_ChannelPlay(CurrentChannel, false);
    return HeaderLine(CurrentChannel);
}

ChannelEvents &ChannelEvents::Instance() {
    static ChannelEvents events;
    return events;
}

QString HeaderLine(uint32_t channel) {
    const char *tags = BASS_ChannelGetTags(channel, BASS_TAG_HTTP);
    return tags ? platform::DecodeText(QByteArray(tags)) : QString();
}

QString ServerText(uint32_t channel, const QString &url) {
    if (channel == 0)
        return QString();
    if (const char *tags = BASS_ChannelGetTags(channel, BASS_TAG_HTTP)) {
        // One zero-terminated line after another, an empty one last.
        for (const char *line = tags; *line != '\0'; line += std::strlen(line) + 1) {
            const QByteArray text(line);
            const qsizetype colon = text.indexOf(':');
            if (colon > 0 &&
                text.left(colon).trimmed().compare("icy-name", Qt::CaseInsensitive) == 0) {
                const QString name = platform::DecodeText(text.mid(colon + 1).trimmed());
                if (!name.isEmpty())
                    return name;
            }
        }
    }
    const QUrl address(url);
    if (address.host().isEmpty())
        return QString();
    const int port = address.port(
        address.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0 ? 443 : 80);
    const QString host =
        address.host().contains(u':') ? u'[' + address.host() + u']' : address.host();
    return QStringLiteral("%1:%2").arg(host).arg(port);
}

QString HistoryLine(const QDate &date, const QString &address) {
    return platform::FormatShortDate(date) + QStringLiteral(" Added ") + address;
}

QString PlaylistEntryText(const QString &entry) {
    for (qsizetype i = entry.size() - 1; i >= 0; --i) {
        const QChar c = entry[i];
        if (c == u'/' || c == u'\\' || c == u':')
            return entry;
        if (c == u'.')
            return entry.left(i);
    }
    return entry;
}

QStringList ReadPlaylistFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw platform::Error(
            QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw platform::Error(
            QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));

    QStringList entries;
    qsizetype begin = 0;
    while (begin < data.size()) {
        qsizetype end = begin;
        while (end < data.size() && data[end] != '\r' && data[end] != '\n')
            ++end;
        entries.append(PlaylistEntryText(platform::DecodeText(data.mid(begin, end - begin))));
        if (end < data.size() && data[end] == '\r' && end + 1 < data.size() &&
            data[end + 1] == '\n')
            ++end;
        begin = end + 1;
    }
    return entries;
}

void WriteStationList(const QString &path, const QStringList &stations) {
    QByteArray data;
    for (const QString &station : stations)
        data += station.toUtf8() + "\r\n";
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        throw platform::Error(
            QStringLiteral("Cannot create file \"%1\". %2").arg(path, file.errorString()));
}

} // namespace playback
