#pragma once

// The player on the D-Bus session bus as an MPRIS2 media player
// (org.mpris.MediaPlayer2.velotune, object /org/mpris/MediaPlayer2), so that
// desktop media controls, media keys and playerctl drive it and show what
// plays. The methods call the player's own actions; the player reports its
// state back through the setters, and each change of state is announced with
// org.freedesktop.DBus.Properties.PropertiesChanged.
// User-interface thread only: Qt D-Bus delivers the calls on it.

#include <functional>
#include <memory>

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace desktop {

enum class PlaybackStatus { Stopped, Playing, Paused };

// "Stopped", "Playing" or "Paused", as the MPRIS property spells it.
QString PlaybackStatusName(PlaybackStatus status);

// What the bus may ask of the player. Each is called on the user-interface
// thread and must not throw (wrap handlers in platform::Guarded).
struct PlayerActions {
    std::function<void()> play;
    std::function<void()> pause;
    std::function<void()> stop;
    std::function<void()> raise;
    std::function<void()> quit;
    // 0.0 .. 1.0; the player reports the volume it took through SetVolume.
    std::function<void(double)> setVolume;
    // Microseconds played of the current stream.
    std::function<qint64()> position_us;
};

class Mpris : public QObject {
    Q_OBJECT

public:
    static constexpr const char *kServiceName = "org.mpris.MediaPlayer2.velotune";
    static constexpr const char *kObjectPath = "/org/mpris/MediaPlayer2";

    // Exports the player on `bus` under kServiceName, or under
    // kServiceName + ".instance<pid>" while another player holds that name.
    // Returns nullptr, without a message, when the bus is not connected or
    // refuses both names.
    static std::unique_ptr<Mpris> Register(QDBusConnection bus, PlayerActions actions);
    ~Mpris() override;

    Mpris(const Mpris &) = delete;
    Mpris &operator=(const Mpris &) = delete;

    QString ServiceName() const { return serviceName_; }

    // State reports from the player; each real change is announced.
    void SetStatus(PlaybackStatus status);
    void SetVolume(double volume);
    // A new stream: its address and, once known, its title ("" for none).
    // Each new address gets a new track id.
    void SetStream(const QString &url);
    void SetTitle(const QString &title);

    PlaybackStatus Status() const { return status_; }
    double Volume() const { return volume_; }
    QVariantMap Metadata() const;
    const PlayerActions &Actions() const { return actions_; }

private:
    Mpris(QDBusConnection bus, PlayerActions actions);
    void announce(const char *interface, const QVariantMap &changed);

    QDBusConnection bus_;
    PlayerActions actions_;
    QString serviceName_;
    bool registered_ = false;
    QObject exported_; // carries the two adaptors
    PlaybackStatus status_ = PlaybackStatus::Stopped;
    double volume_ = 1.0;
    QString url_;
    QString title_;
    quint64 track_ = 0;
};

} // namespace desktop
