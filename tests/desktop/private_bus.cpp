#include "tests/desktop/private_bus.h"

#include <QDeadlineTimer>
#include <QFile>

namespace testsupport {

PrivateBus::PrivateBus() {
    const QString config = dir_.filePath(QStringLiteral("session.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return;
    // The session bus's rules without the session's service folders.
    file.write(QStringLiteral(
                   "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
                   "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                   "<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                   "<auth>EXTERNAL</auth><policy context=\"default\">"
                   "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                   "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n")
                   .arg(dir_.path())
                   .toUtf8());
    file.close();

    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--config-file=") + config, QStringLiteral("--print-address"),
                   QStringLiteral("--nofork"), QStringLiteral("--nopidfile")});
    const QDeadlineTimer deadline(10000);
    while (!daemon_.canReadLine() && daemon_.state() != QProcess::NotRunning &&
           !deadline.hasExpired())
        daemon_.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
    if (daemon_.canReadLine())
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
}

PrivateBus::~PrivateBus() {
    if (daemon_.state() == QProcess::NotRunning)
        return;
    daemon_.terminate();
    if (!daemon_.waitForFinished(5000)) {
        daemon_.kill();
        daemon_.waitForFinished(5000);
    }
}

} // namespace testsupport
