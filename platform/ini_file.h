#pragma once

// A settings file in the INI format, read and written one value per call with
// no cached copy: two objects on one file always agree. The reading rules are
// those of the Windows private-profile functions: section and key names match
// without regard to case, blanks around names and values are dropped, a value
// in matching quotes loses them, the first matching key wins (also across
// duplicate sections), and a value is at most 2047 bytes.
//
// A write replaces one line (or adds one, or a section) and keeps every other
// byte of the file as it was, line ends included. It goes to a temporary file
// beside the old one that is then renamed over it, so a process killed in the
// middle leaves either the old or the new file. A refused write throws
// platform::Error "Unable to write to <path>".
//
// Text is UTF-8 on disk. Not thread-safe; the program uses it from the
// user-interface thread only.

#include <cstdint>

#include <QString>

namespace platform {

class IniFile {
public:
    // Touches nothing on disk.
    explicit IniFile(QString path);

    const QString &FileName() const { return path_; }

    QString ReadString(const QString &section, const QString &key, const QString &fallback) const;
    // "0x"/"0X" and more characters: hexadecimal; otherwise decimal with an
    // optional sign; anything else (empty, not a number, overflow): fallback.
    int32_t ReadInteger(const QString &section, const QString &key, int32_t fallback) const;
    // A whole number with fallback 1 or 0; true when it is not 0.
    bool ReadBool(const QString &section, const QString &key, bool fallback) const;

    // Creates the file (and its folder), the section and the key as needed;
    // replaces an existing value. Line breaks in `value` cannot be stored and
    // are dropped.
    void WriteString(const QString &section, const QString &key, const QString &value);
    void WriteInteger(const QString &section, const QString &key, int32_t value);
    void WriteBool(const QString &section, const QString &key, bool value);

private:
    QString path_;
};

} // namespace platform
