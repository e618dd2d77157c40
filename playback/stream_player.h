#pragma once

// The stream player's shared state and the steps of opening a stream.
//
// CurrentChannel and CurrentURL are the one current stream of the run. Only
// Play and the station selection (the main window's handlers) write them;
// the status refresh, the equalizer, the recorder and the stream info window
// read them. User-interface thread only.

#include <cstdint>

#include <QDate>
#include <QObject>
#include <QString>
#include <QStringList>

// The channel of the current stream; 0 means none.
extern uint32_t CurrentChannel;
// The address from which the next Play opens a stream.
extern QString CurrentURL;

namespace playback {

// The marked item of the main menu's "Format" submenu.
enum class StreamFormat { Mp3Mp4, Aac, Ac3 };

// What happens to CurrentChannel, for the windows that add to it.
class ChannelEvents : public QObject {
    Q_OBJECT

public:
    static ChannelEvents &Instance();

signals:
    // OpenCurrentStream has made `channel` (never 0) CurrentChannel. Raised
    // before the channel starts, so what is added now shapes its first sound.
    void ChannelOpened(uint32_t channel);
};

// Releases CurrentChannel, opens CurrentURL with the creation call of
// `format` (blocking until it is connected or has failed), makes the result
// CurrentChannel (0 on failure) and starts it. Returns the stream's first
// header line, "" when there is none.
QString OpenCurrentStream(StreamFormat format);

// The header line of `channel`: its first HTTP header line (the status line).
QString HeaderLine(uint32_t channel);

// The server of `channel`, opened from `url`, as the stream info window
// names it: the station's name from its headers (icy-name), or else the
// host and port of `url` (the scheme's port when it names none); "" when
// there is no channel.
QString ServerText(uint32_t channel, const QString &url);

// The history line for a typed address: "<short date> Added <address>".
QString HistoryLine(const QDate &date, const QString &address);

// A playlist entry as the playlist box shows it: without the text from its
// last dot on, unless a path separator ("/", "\" or ":") follows that dot.
QString PlaylistEntryText(const QString &entry);

// The entries of a playlist file, one per line (CR LF, LF or CR), as shown.
// Throws platform::Error "Cannot open file "<path>". <reason>".
QStringList ReadPlaylistFile(const QString &path);

// Writes the station list, each entry followed by CR LF, replacing the file.
// Throws platform::Error "Cannot create file "<path>". <reason>".
void WriteStationList(const QString &path, const QStringList &stations);

} // namespace playback
