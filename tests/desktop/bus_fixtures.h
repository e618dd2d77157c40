#pragma once

// What the desktop tests share: the private session bus of the test
// program, D-Bus calls made from a connection of their own (so that they go
// through the daemon and the player answers them on its event loop), a
// recorder of PropertiesChanged, and a stand-in notification server.
// User-interface thread only.

#include <functional>
#include <vector>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

namespace testsupport {

// The address of the test program's private bus, started before the first
// test and made the session bus; empty when dbus-daemon could not start.
QString PrivateBusAddress();

// A connection of the tests' own to the private bus, named `name`.
QDBusConnection ClientConnection(const QString &name);

// Runs the event loop until `done` holds or `timeout_ms` passes.
bool WaitUntil(const std::function<bool()> &done, int timeout_ms = 8000);

// Calls `method` and waits (with a deadline) for the reply, running the
// event loop meanwhile; an error reply or the deadline give an error message.
QDBusMessage Call(QDBusConnection bus, const QString &service, const QString &path,
                  const QString &interface, const QString &method, const QVariantList &args = {});

// org.freedesktop.DBus.Properties Get and Set on an MPRIS object; Get
// gives an invalid QVariant when the call fails.
QVariant GetProperty(QDBusConnection bus, const QString &service, const QString &interface,
                     const QString &property);
QDBusMessage SetProperty(QDBusConnection bus, const QString &service, const QString &interface,
                         const QString &property, const QVariant &value);

// The values of PropertiesChanged signals sent from /org/mpris/MediaPlayer2.
class PropertiesRecorder : public QObject {
    Q_OBJECT

public:
    explicit PropertiesRecorder(QDBusConnection bus);
    ~PropertiesRecorder() override;

    // Each value announced for `property`, oldest first.
    std::vector<QVariant> Values(const QString &property) const;

public slots:
    void changed(const QString &interface, const QVariantMap &properties,
                 const QStringList &invalidated);

private:
    QDBusConnection bus_;
    std::vector<std::pair<QString, QVariant>> seen_;
};

// org.freedesktop.Notifications on `bus` for as long as it lives: records
// each Notify and answers it with a new id.
class NotificationServer : public QObject {
    Q_OBJECT

public:
    struct Notice {
        QString app_name;
        uint replaces_id = 0;
        QString app_icon;
        QString summary;
        QString body;
        QVariantMap hints;
    };

    explicit NotificationServer(QDBusConnection bus);
    ~NotificationServer() override;

    bool Registered() const { return registered_; }
    const std::vector<Notice> &Notices() const { return notices_; }

public slots:
    uint Notify(const QString &app_name, uint replaces_id, const QString &app_icon,
                const QString &summary, const QString &body, const QStringList &actions,
                const QVariantMap &hints, int expire_timeout);
    QStringList GetCapabilities() const { return {}; }

private:
    QDBusConnection bus_;
    bool registered_ = false;
    std::vector<Notice> notices_;
};

} // namespace testsupport
