#pragma once

// The player's link to the desktop session: its MPRIS2 media-player object
// on the session bus and the notification of a new station title while the
// main window is hidden or minimised. The main window reports what its
// handlers did; the link keeps no playback state of its own beyond what the
// bus and the notifications need. Without a session bus the notifications
// go to the tray icon's balloon and nothing is exported, silently.
// User-interface thread only.

#include <memory>

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QWidget>

#include "desktop/mpris.h"
#include "platform/tray_icon.h"

namespace desktop {

class DesktopLink : public QObject {
    Q_OBJECT

public:
    // `window` is the player's main window, `tray` its tray icon; both
    // outlive the link.
    DesktopLink(QWidget *window, platform::TrayIcon *tray, QDBusConnection bus,
                PlayerActions actions);
    ~DesktopLink() override;

    // A stream was opened from `url`: `opened` tells whether it plays.
    void StreamOpened(const QString &url, bool opened);
    void Paused();
    void Stopped();
    // 0.0 .. 1.0, as the volume control now stands.
    void VolumeChanged(double volume);
    // The stream's ICY metadata text as last received ("" for none), given on
    // every refresh; a new title goes to MPRIS and, while the window is
    // hidden or minimised and notices are on, into a notification.
    void MetadataSeen(const QString &metadata);

    void SetTitleNotices(bool on) { titleNotices_ = on; }
    bool TitleNotices() const { return titleNotices_; }

    // The exported media player, nullptr without a session bus.
    Mpris *MediaPlayer() const { return mpris_.get(); }

private:
    void notify(const QString &title);
    void send(const QString &title);

    QWidget *window_;
    platform::TrayIcon *tray_;
    QDBusConnection bus_;
    std::unique_ptr<Mpris> mpris_;
    bool titleNotices_ = true;
    QString title_;
    // The id the notification server gave our last notice, which the next
    // one replaces so that only the newest title stays on screen.
    uint notification_ = 0;
    // While a notice waits for its id, a newer title waits here (only the
    // newest), so that it still replaces the one on screen.
    bool sending_ = false;
    QString queued_;
};

} // namespace desktop
