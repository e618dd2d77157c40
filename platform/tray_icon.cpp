#include "platform/tray_icon.h"

namespace platform {

TrayIcon::TrayIcon(QObject *parent, const QIcon &icon) : QObject(parent), icon_(icon) {
    connect(&icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    emit Click();
            });
    connect(&icon_, &QSystemTrayIcon::messageClicked, this, &TrayIcon::BalloonClick);
}

void TrayIcon::SetVisible(bool visible) {
    visible_ = visible;
    if (QSystemTrayIcon::isSystemTrayAvailable())
        icon_.setVisible(visible);
}

void TrayIcon::SetMenu(QMenu *menu) {
    icon_.setContextMenu(menu);
}

QMenu *TrayIcon::Menu() const {
    return icon_.contextMenu();
}

void TrayIcon::SetToolTip(const QString &text) {
    icon_.setToolTip(text);
}

void TrayIcon::ShowBalloon(const Balloon &balloon) {
    balloon_ = balloon;
    hasBalloon_ = true;
    // A new message replaces the icon's balloon that is still up.
    if (QSystemTrayIcon::isSystemTrayAvailable() && icon_.isVisible())
        icon_.showMessage(balloon.title, balloon.text, balloon.icon, balloon.timeout_ms);
}

} // namespace platform
