#include "platform/ini_file.h"

#include <optional>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "platform/error.h"
#include "platform/int_parse.h"

namespace platform {

namespace {

constexpr qsizetype kMaxValueBytes = 2047;

// One line of the file: [begin, contentEnd) is its text without the line end,
// [contentEnd, end) the line end ("\n", "\r\n" or nothing on the last line).
struct Line {
    qsizetype begin;
    qsizetype contentEnd;
    qsizetype end;
};

std::vector<Line> splitLines(const QByteArray &data) {
    std::vector<Line> lines;
    qsizetype begin = 0;
    while (begin < data.size()) {
        qsizetype newline = data.indexOf('\n', begin);
        const qsizetype end = newline < 0 ? data.size() : newline + 1;
        qsizetype contentEnd = newline < 0 ? data.size() : newline;
        if (contentEnd > begin && data[contentEnd - 1] == '\r')
            --contentEnd;
        lines.push_back({begin, contentEnd, end});
        begin = end;
    }
    return lines;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

QByteArray trimmed(QByteArray text) {
    qsizetype b = 0;
    qsizetype e = text.size();
    while (b < e && isBlank(text[b]))
        ++b;
    while (e > b && isBlank(text[e - 1]))
        --e;
    return text.mid(b, e - b);
}

bool sameName(const QByteArray &a, const QString &b) {
    return QString::fromUtf8(a).compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

// The section name of a "[name]" line, if it is one.
std::optional<QByteArray> sectionName(const QByteArray &content) {
    const QByteArray line = trimmed(content);
    if (!line.startsWith('['))
        return std::nullopt;
    qsizetype close = line.indexOf(']');
    if (close < 0)
        close = line.size();
    return trimmed(line.mid(1, close - 1));
}

struct KeyValue {
    QByteArray key;
    QByteArray value;
};

std::optional<KeyValue> keyValue(const QByteArray &content) {
    const qsizetype equals = content.indexOf('=');
    if (equals < 0)
        return std::nullopt;
    return KeyValue{trimmed(content.left(equals)), trimmed(content.mid(equals + 1))};
}

// Where a key of a section lives in the file.
struct Location {
    std::optional<std::size_t> sectionLine; // first matching section header
    std::optional<std::size_t> keyLine;     // first matching key in a matching section
    std::size_t sectionLastLine = 0;        // last non-blank line of the first matching section
};

Location locate(const QByteArray &data, const std::vector<Line> &lines, const QString &section,
                const QString &key) {
    Location where;
    bool inSection = false;
    bool inFirstSection = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const QByteArray content = data.mid(lines[i].begin, lines[i].contentEnd - lines[i].begin);
        if (const auto name = sectionName(content)) {
            inSection = sameName(*name, section);
            inFirstSection = inSection && !where.sectionLine;
            if (inFirstSection) {
                where.sectionLine = i;
                where.sectionLastLine = i;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (inFirstSection && !trimmed(content).isEmpty())
            where.sectionLastLine = i;
        if (const auto kv = keyValue(content); kv && sameName(kv->key, key)) {
            where.keyLine = i;
            return where;
        }
    }
    return where;
}

QByteArray readAll(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QByteArray unquoted(const QByteArray &value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.mid(1, value.size() - 2);
    return value;
}

// Cuts UTF-8 text to at most `limit` bytes without splitting a character.
QByteArray limited(QByteArray value, qsizetype limit) {
    if (value.size() <= limit)
        return value;
    qsizetype cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(value[cut]) & 0xC0) == 0x80)
        --cut;
    value.truncate(cut);
    return value;
}

bool isDecimal(const QString &text) {
    qsizetype i = (text.startsWith(u'-') || text.startsWith(u'+')) ? 1 : 0;
    if (i == text.size())
        return false;
    for (; i < text.size(); ++i) {
        if (text[i] < u'0' || text[i] > u'9')
            return false;
    }
    return true;
}

} // namespace

IniFile::IniFile(QString path) : path_(std::move(path)) {}

QString IniFile::ReadString(const QString &section, const QString &key,
                            const QString &fallback) const {
    const QByteArray data = readAll(path_);
    const std::vector<Line> lines = splitLines(data);
    const Location where = locate(data, lines, section, key);
    if (!where.keyLine)
        return fallback;
    const Line &line = lines[*where.keyLine];
    const auto kv = keyValue(data.mid(line.begin, line.contentEnd - line.begin));
    return QString::fromUtf8(limited(unquoted(kv->value), kMaxValueBytes));
}

int32_t IniFile::ReadInteger(const QString &section, const QString &key, int32_t fallback) const {
    const QString text = ReadString(section, key, QString());
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X'))
        return StrToIntDef(u'$' + text.mid(2), fallback);
    if (!isDecimal(text))
        return fallback;
    return StrToIntDef(text, fallback);
}

bool IniFile::ReadBool(const QString &section, const QString &key, bool fallback) const {
    return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

void IniFile::WriteString(const QString &section, const QString &key, const QString &value) {
    QString storable = value;
    storable.remove(u'\r');
    storable.remove(u'\n');

    QByteArray data = readAll(path_);
    const std::vector<Line> lines = splitLines(data);
    const Location where = locate(data, lines, section, key);
    const bool crlf = !lines.empty() && lines.front().end - lines.front().contentEnd == 2;
    const QByteArray eol = crlf ? "\r\n" : "\n";
    const QByteArray entry = key.toUtf8() + '=' + storable.toUtf8();

    if (where.keyLine) {
        const Line &line = lines[*where.keyLine];
        data.replace(line.begin, line.contentEnd - line.begin, entry);
    } else {
        QByteArray insertion;
        qsizetype at = data.size();
        if (where.sectionLine) {
            const Line &last = lines[where.sectionLastLine];
            at = last.end;
            if (last.end == last.contentEnd)
                insertion += eol;
            insertion += entry + eol;
        } else {
            if (!data.isEmpty() && !data.endsWith('\n'))
                insertion += eol;
            insertion += '[' + section.toUtf8() + ']' + eol + entry + eol;
        }
        data.insert(at, insertion);
    }

    const QString failure = QStringLiteral("Unable to write to %1").arg(path_);
    if (!QDir().mkpath(QFileInfo(path_).absolutePath()))
        throw Error(failure);
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        throw Error(failure);
}

void IniFile::WriteInteger(const QString &section, const QString &key, int32_t value) {
    WriteString(section, key, QString::number(value));
}

void IniFile::WriteBool(const QString &section, const QString &key, bool value) {
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

} // namespace platform
