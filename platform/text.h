#pragma once

// 8-bit text from files and streams, and file-dialog filters.

#include <QByteArray>
#include <QString>

namespace platform {

// Text bytes as the user should read them: UTF-8 when they are valid UTF-8,
// otherwise Latin-1 (what most older stations and playlist files use).
QString DecodeText(const QByteArray &bytes);

// A filter of the form "Name|*.a;*.b|Other|*.c" as a Qt file-dialog filter
// list ("Name (*.a *.b);;Other (*.c)"). "*.*" means every file, as it does
// where these filters come from, and becomes "*"; a name that already ends
// in its patterns in parentheses ("All files (*.*)") shows them once.
QString QtFileFilter(const QString &filter);

} // namespace platform
