#pragma once

// A notification-area icon with balloons. Where the desktop has no tray (the
// offscreen platform, many Wayland sessions) the icon is still kept and its
// last balloon recorded, so the program's logic does not depend on the
// desktop and tests can read what would have been shown.
// User-interface thread only.

#include <QIcon>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

class QMenu;

namespace platform {

struct Balloon {
    QString title;
    QString text;
    QSystemTrayIcon::MessageIcon icon = QSystemTrayIcon::NoIcon;
    int timeout_ms = 0;
};

class TrayIcon : public QObject {
    Q_OBJECT

public:
    TrayIcon(QObject *parent, const QIcon &icon);

    void SetVisible(bool visible);
    bool Visible() const { return visible_; }
    void SetMenu(QMenu *menu);
    QMenu *Menu() const;
    void SetToolTip(const QString &text);

    // Shows a balloon from the icon, in place of one still up.
    void ShowBalloon(const Balloon &balloon);
    // The last balloon shown, if any.
    const Balloon *LastBalloon() const { return hasBalloon_ ? &balloon_ : nullptr; }

signals:
    void Click();
    void BalloonClick();

private:
    QSystemTrayIcon icon_;
    bool visible_ = false;
    bool hasBalloon_ = false;
    Balloon balloon_;
};

} // namespace platform
