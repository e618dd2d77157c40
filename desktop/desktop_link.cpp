#include "desktop/desktop_link.h"

#include <utility>

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include "desktop/icy_title.h"

namespace desktop {

namespace {

platform::Balloon titleBalloon(const QString &title) {
    return {QStringLiteral("Velotune Player"), title, QSystemTrayIcon::Information, 5000};
}

} // namespace

DesktopLink::DesktopLink(QWidget *window, platform::TrayIcon *tray, QDBusConnection bus,
                         PlayerActions actions)
    : QObject(window), window_(window), tray_(tray), bus_(std::move(bus)),
      mpris_(Mpris::Register(bus_, std::move(actions))) {}

DesktopLink::~DesktopLink() = default;

void DesktopLink::StreamOpened(const QString &url, bool opened) {
    title_.clear();
    if (!mpris_)
        return;
    mpris_->SetStream(url);
    mpris_->SetStatus(opened ? PlaybackStatus::Playing : PlaybackStatus::Stopped);
}

void DesktopLink::Paused() {
    if (mpris_)
        mpris_->SetStatus(PlaybackStatus::Paused);
}

void DesktopLink::Stopped() {
    if (mpris_)
        mpris_->SetStatus(PlaybackStatus::Stopped);
}

void DesktopLink::VolumeChanged(double volume) {
    if (mpris_)
        mpris_->SetVolume(volume);
}

void DesktopLink::MetadataSeen(const QString &metadata) {
    const QString title = StreamTitle(metadata);
    if (title == title_)
        return;
    title_ = title;
    if (mpris_)
        mpris_->SetTitle(title);
    if (!title.isEmpty() && titleNotices_ && (window_->isHidden() || window_->isMinimized()))
        notify(title);
}

void DesktopLink::notify(const QString &title) {
    if (!bus_.isConnected())
        tray_->ShowBalloon(titleBalloon(title));
    else if (sending_)
        queued_ = title;
    else
        send(title);
}

void DesktopLink::send(const QString &title) {
    // The summary is plain text for every server, unlike the body, which
    // some read as markup: a title from the station goes there.
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QStringLiteral("Velotune Player") << notification_ << QStringLiteral("velotune")
         << title << QString() << QStringList()
         << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("velotune")}} << -1;
    sending_ = true;
    auto *watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, title](QDBusPendingCallWatcher *finished) {
                const QDBusPendingReply<uint> reply = *finished;
                finished->deleteLater();
                sending_ = false;
                if (reply.isError())
                    tray_->ShowBalloon(titleBalloon(title));
                else
                    notification_ = reply.value();
                if (!queued_.isEmpty())
                    send(std::exchange(queued_, QString()));
            });
}

} // namespace desktop
