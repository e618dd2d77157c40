#include "desktop/mpris.h"

#include <algorithm>
#include <cmath>

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QDBusObjectPath>

namespace desktop {

namespace {

constexpr const char *kPlayerInterface = "org.mpris.MediaPlayer2.Player";

// org.mpris.MediaPlayer2: who the player is, Raise and Quit.
class RootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)

public:
    RootAdaptor(QObject *exported, const Mpris &player)
        : QDBusAbstractAdaptor(exported), player_(player) {}

    bool CanQuit() const { return true; }
    bool CanRaise() const { return true; }
    bool HasTrackList() const { return false; }
    QString Identity() const { return QStringLiteral("Velotune Player"); }
    QString DesktopEntry() const { return QStringLiteral("velotune"); }
    // The player opens only what it is given in its own window, so OpenUri
    // supports no scheme and no type.
    QStringList SupportedUriSchemes() const { return {}; }
    QStringList SupportedMimeTypes() const { return {}; }

public slots:
    void Raise() { player_.Actions().raise(); }
    void Quit() { player_.Actions().quit(); }

private:
    const Mpris &player_;
};

// org.mpris.MediaPlayer2.Player: transport, status, volume and metadata.
// A radio stream has no next, previous or seek; the interface makes those
// calls no-ops when the matching Can* property is false.
class PlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(double Rate READ Rate)
    Q_PROPERTY(double MinimumRate READ Rate)
    Q_PROPERTY(double MaximumRate READ Rate)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(bool CanGoNext READ No)
    Q_PROPERTY(bool CanGoPrevious READ No)
    Q_PROPERTY(bool CanPlay READ Yes)
    Q_PROPERTY(bool CanPause READ Yes)
    Q_PROPERTY(bool CanSeek READ No)
    Q_PROPERTY(bool CanControl READ Yes)

public:
    PlayerAdaptor(QObject *exported, const Mpris &player)
        : QDBusAbstractAdaptor(exported), player_(player) {}

    QString PlaybackStatus() const { return PlaybackStatusName(player_.Status()); }
    double Rate() const { return 1.0; }
    QVariantMap Metadata() const { return player_.Metadata(); }
    double Volume() const { return player_.Volume(); }
    void SetVolume(double volume) {
        if (!std::isnan(volume))
            player_.Actions().setVolume(std::clamp(volume, 0.0, 1.0));
    }
    qlonglong Position() const { return player_.Actions().position_us(); }
    bool Yes() const { return true; }
    bool No() const { return false; }

public slots:
    void Play() {
        if (player_.Status() != PlaybackStatus::Playing)
            player_.Actions().play();
    }
    void Pause() {
        if (player_.Status() == PlaybackStatus::Playing)
            player_.Actions().pause();
    }
    void PlayPause() {
        if (player_.Status() == PlaybackStatus::Playing)
            player_.Actions().pause();
        else
            player_.Actions().play();
    }
    void Stop() {
        if (player_.Status() != PlaybackStatus::Stopped)
            player_.Actions().stop();
    }
    void Next() {}
    void Previous() {}
    void Seek(qlonglong) {}
    void SetPosition(const QDBusObjectPath &, qlonglong) {}
    void OpenUri(const QString &) {}

private:
    const Mpris &player_;
};

} // namespace

QString PlaybackStatusName(PlaybackStatus status) {
    switch (status) {
    case PlaybackStatus::Playing:
        return QStringLiteral("Playing");
    case PlaybackStatus::Paused:
        return QStringLiteral("Paused");
    case PlaybackStatus::Stopped:
        break;
    }
    return QStringLiteral("Stopped");
}

Mpris::Mpris(QDBusConnection bus, PlayerActions actions)
    : bus_(std::move(bus)), actions_(std::move(actions)) {
    new RootAdaptor(&exported_, *this);
    new PlayerAdaptor(&exported_, *this);
}

std::unique_ptr<Mpris> Mpris::Register(QDBusConnection bus, PlayerActions actions) {
    if (!bus.isConnected())
        return nullptr;
    std::unique_ptr<Mpris> player(new Mpris(bus, std::move(actions)));
    if (!bus.registerObject(QString::fromLatin1(kObjectPath), &player->exported_,
                            QDBusConnection::ExportAdaptors))
        return nullptr;
    player->registered_ = true;
    const QString name = QString::fromLatin1(kServiceName);
    const QString instance =
        name + QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid());
    for (const QString &candidate : {name, instance}) {
        if (bus.registerService(candidate)) {
            player->serviceName_ = candidate;
            return player;
        }
    }
    return nullptr;
}

Mpris::~Mpris() {
    if (!serviceName_.isEmpty())
        bus_.unregisterService(serviceName_);
    if (registered_)
        bus_.unregisterObject(QString::fromLatin1(kObjectPath));
}

void Mpris::SetStatus(PlaybackStatus status) {
    if (status == status_)
        return;
    status_ = status;
    announce(kPlayerInterface, {{QStringLiteral("PlaybackStatus"), PlaybackStatusName(status)}});
}

void Mpris::SetVolume(double volume) {
    if (volume == volume_)
        return;
    volume_ = volume;
    announce(kPlayerInterface, {{QStringLiteral("Volume"), volume}});
}

void Mpris::SetStream(const QString &url) {
    url_ = url;
    title_.clear();
    ++track_;
    announce(kPlayerInterface, {{QStringLiteral("Metadata"), Metadata()}});
}

void Mpris::SetTitle(const QString &title) {
    if (title == title_)
        return;
    title_ = title;
    announce(kPlayerInterface, {{QStringLiteral("Metadata"), Metadata()}});
}

QVariantMap Mpris::Metadata() const {
    if (track_ == 0)
        return {};
    QVariantMap metadata{
        {QStringLiteral("mpris:trackid"),
         QVariant::fromValue(
             QDBusObjectPath(QStringLiteral("/org/velotune/Track/%1").arg(track_)))},
        {QStringLiteral("xesam:url"), url_},
    };
    if (!title_.isEmpty())
        metadata.insert(QStringLiteral("xesam:title"), title_);
    return metadata;
}

void Mpris::announce(const char *interface, const QVariantMap &changed) {
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(kObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(interface) << changed << QStringList();
    bus_.send(signal);
}

} // namespace desktop

#include "mpris.moc"
