#include "tests/desktop/bus_fixtures.h"

#include <memory>

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QTest>
#include <gtest/gtest.h>

#include "tests/desktop/private_bus.h"

namespace testsupport {

namespace {

const QString kMprisPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

// Starts the bus before the first test, so that the session bus every
// later connection reaches is this one, and ends it after the last.
class BusEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        bus_ = std::make_unique<PrivateBus>();
        if (!bus_->Address().isEmpty())
            qputenv("DBUS_SESSION_BUS_ADDRESS", bus_->Address().toUtf8());
    }
    void TearDown() override { bus_.reset(); }
    QString Address() const { return bus_ ? bus_->Address() : QString(); }

private:
    std::unique_ptr<PrivateBus> bus_;
};

BusEnvironment *environment =
    static_cast<BusEnvironment *>(::testing::AddGlobalTestEnvironment(new BusEnvironment));

} // namespace

QString PrivateBusAddress() {
    return environment->Address();
}

QDBusConnection ClientConnection(const QString &name) {
    return QDBusConnection::connectToBus(PrivateBusAddress(), name);
}

bool WaitUntil(const std::function<bool()> &done, int timeout_ms) {
    const QDeadlineTimer deadline(timeout_ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(10);
    }
    return true;
}

QDBusMessage Call(QDBusConnection bus, const QString &service, const QString &path,
                  const QString &interface, const QString &method, const QVariantList &args) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(args);
    QDBusPendingCall pending = bus.asyncCall(message, 5000);
    if (!WaitUntil([&] { return pending.isFinished(); }, 6000))
        return message.createErrorReply(QStringLiteral("test.Timeout"), QStringLiteral("no reply"));
    return pending.reply();
}

QVariant GetProperty(QDBusConnection bus, const QString &service, const QString &interface,
                     const QString &property) {
    const QDBusMessage reply =
        Call(bus, service, kMprisPath, kProperties, QStringLiteral("Get"), {interface, property});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    QVariant value = reply.arguments().front().value<QDBusVariant>().variant();
    // Maps arrive unparsed; the one map property (Metadata) is read here.
    if (value.userType() == qMetaTypeId<QDBusArgument>())
        return qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    return value;
}

QDBusMessage SetProperty(QDBusConnection bus, const QString &service, const QString &interface,
                         const QString &property, const QVariant &value) {
    return Call(bus, service, kMprisPath, kProperties, QStringLiteral("Set"),
                {interface, property, QVariant::fromValue(QDBusVariant(value))});
}

PropertiesRecorder::PropertiesRecorder(QDBusConnection bus) : bus_(std::move(bus)) {
    bus_.connect(QString(), kMprisPath, kProperties, QStringLiteral("PropertiesChanged"), this,
                 SLOT(changed(QString, QVariantMap, QStringList)));
    // The match rule goes to the bus without waiting for an answer; a call
    // answered after it means the bus has it, so no signal sent from now on
    // is missed.
    bus_.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.DBus"));
}

PropertiesRecorder::~PropertiesRecorder() {
    bus_.disconnect(QString(), kMprisPath, kProperties, QStringLiteral("PropertiesChanged"), this,
                    SLOT(changed(QString, QVariantMap, QStringList)));
}

std::vector<QVariant> PropertiesRecorder::Values(const QString &property) const {
    std::vector<QVariant> values;
    for (const auto &[name, value] : seen_) {
        if (name == property)
            values.push_back(value);
    }
    return values;
}

void PropertiesRecorder::changed(const QString &, const QVariantMap &properties,
                                 const QStringList &) {
    for (auto it = properties.begin(); it != properties.end(); ++it) {
        QVariant value = it.value();
        if (value.userType() == qMetaTypeId<QDBusArgument>())
            value = qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
        seen_.emplace_back(it.key(), value);
    }
}

NotificationServer::NotificationServer(QDBusConnection bus) : bus_(std::move(bus)) {
    registered_ = bus_.registerObject(QStringLiteral("/org/freedesktop/Notifications"),
                                      QStringLiteral("org.freedesktop.Notifications"), this,
                                      QDBusConnection::ExportAllSlots) &&
                  bus_.registerService(QStringLiteral("org.freedesktop.Notifications"));
}

NotificationServer::~NotificationServer() {
    bus_.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    bus_.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
}

uint NotificationServer::Notify(const QString &app_name, uint replaces_id, const QString &app_icon,
                                const QString &summary, const QString &body, const QStringList &,
                                const QVariantMap &hints, int) {
    notices_.push_back({app_name, replaces_id, app_icon, summary, body, hints});
    return static_cast<uint>(notices_.size()) + 40;
}

} // namespace testsupport
