#pragma once

// Lets GoogleTest print Qt values readably in failure messages.

#include <ostream>

#include <QByteArray>
#include <QString>

inline void PrintTo(const QString &text, std::ostream *out) {
    *out << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QByteArray &bytes, std::ostream *out) {
    *out << '"' << bytes.left(200).toStdString() << (bytes.size() > 200 ? "...\"" : "\"") << " ("
         << bytes.size() << " bytes)";
}
