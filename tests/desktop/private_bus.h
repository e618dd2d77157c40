#pragma once

// A private D-Bus session bus for one test program: a dbus-daemon of its own
// with no activatable services, so nothing of the machine's session starts.
// The daemon is ended when the object goes, within a deadline.

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

class PrivateBus {
public:
    // Starts the daemon and waits (at most 10 s) for its address; Address()
    // is empty when it could not start.
    PrivateBus();
    ~PrivateBus();

    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;

    QString Address() const { return address_; }

private:
    QTemporaryDir dir_;
    QProcess daemon_;
    QString address_;
};

} // namespace testsupport
