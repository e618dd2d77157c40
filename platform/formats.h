#pragma once

// The user's date and time formats, as the player shows them: the short date
// format, the long time format (without a time-zone field) and the time
// separator, all taken from the locale (LC_TIME and friends on Linux).

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>

namespace platform {

// Qt format string of the locale's short date ("dd/MM/yyyy", "M/d/yy", ...).
QString ShortDateFormat(const QLocale &locale = QLocale::system());

// Qt format string of the locale's long time, without the time zone
// ("HH:mm:ss", "h:mm:ss AP", ...).
QString LongTimeFormat(const QLocale &locale = QLocale::system());

// The character(s) between hours and minutes in the locale's time format;
// ":" when the format shows none.
QString TimeSeparator(const QLocale &locale = QLocale::system());

QString FormatShortDate(const QDate &date, const QLocale &locale = QLocale::system());
QString FormatLongTime(const QTime &time, const QLocale &locale = QLocale::system());

} // namespace platform
