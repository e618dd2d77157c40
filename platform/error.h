#pragma once

#include <stdexcept>

#include <QString>

namespace platform {

// An error raised inside a handler. Its message is shown to the user by the
// application error display as it stands (UTF-8 in what()).
class Error : public std::runtime_error {
public:
    explicit Error(const QString &message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromUtf8(what()); }
};

} // namespace platform
