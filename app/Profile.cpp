#include "app/Profile.h"

#include "app/CodePage.h"
#include "app/Files.h"

#include <QFileInfo>
#include <QStringList>
#include <limits>

using namespace Qt::StringLiterals;

namespace
{

// One line of the file: its bytes as they stand (kept untouched on rewrite) and the
// parsed meaning.
struct Line {
    QByteArray raw;
    enum Kind { Other, Section, Key } kind = Other;
    QString name;  // section name or key name, trimmed
    QString value; // key value, trimmed, quotes removed
};

using Files::TrimBlanks;
using Text = Files::TextEncoding;

Line parseLine(const QByteArray& raw, const Text& encoding)
{
    Line line;
    line.raw = raw;
    const QString text = TrimBlanks(encoding.decode(raw));
    if (text.startsWith(u'[')) {
        qsizetype close = text.indexOf(u']', 1);
        if (close < 0)
            close = text.size();
        line.kind = Line::Section;
        line.name = TrimBlanks(QStringView(text).mid(1, close - 1));
        return line;
    }
    const qsizetype eq = text.indexOf(u'=');
    if (eq <= 0)
        return line;
    line.kind = Line::Key;
    line.name = TrimBlanks(QStringView(text).left(eq));
    QString value = TrimBlanks(QStringView(text).mid(eq + 1));
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    line.value = value;
    return line;
}

// Far above any settings file; a larger one (or a FIFO, a device) is not read, nor replaced.
constexpr qint64 MaxProfileBytes = 1 << 20;

struct ProfileText {
    QList<Line> lines;
    Text encoding;
    QString readError; // the file is there but could not be read
};

void parseProfile(ProfileText& profile, QByteArray bytes)
{
    // A UTF-8 mark (some Linux editors write one) is read past and kept on rewrite.
    profile.encoding = Files::TakeByteOrderMark(&bytes);
    const QList<QByteArray> raws = Files::SplitLines(bytes);
    profile.lines.reserve(raws.size());
    for (const QByteArray& raw : raws)
        profile.lines.append(parseLine(raw, profile.encoding));
}

ProfileText readProfile(const QString& file, bool* exists = nullptr)
{
    ProfileText profile;
    if (exists)
        *exists = Files::IsFile(Files::Path(file));
    QByteArray bytes;
    QString error;
    if (!Files::Read(Files::Path(file), &bytes, &error, MaxProfileBytes)) {
        profile.readError = error;
        return profile;
    }
    parseProfile(profile, std::move(bytes));
    return profile;
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Index of the first line of key in the first section named section that holds it,
// -1 when there is none.
qsizetype findKey(const QList<Line>& lines, const QString& section, const QString& key)
{
    bool inSection = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const Line& l = lines[i];
        if (l.kind == Line::Section)
            inSection = sameName(l.name, section);
        else if (inSection && l.kind == Line::Key && sameName(l.name, key))
            return i;
    }
    return -1;
}

// At most maxBytes bytes of CP932, never ending inside a double-byte character.
QString cutToBytes(const QString& text, qsizetype maxBytes)
{
    if (maxBytes <= 0)
        return {};
    const QByteArray bytes = CodePage::ToAnsi(text);
    if (bytes.size() <= maxBytes)
        return text;
    qsizetype cut = 0;
    while (cut < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[cut]);
        const qsizetype width = CodePage::IsLeadByte(b) ? 2 : 1;
        if (cut + width > maxBytes)
            break;
        cut += width;
    }
    return CodePage::FromAnsi(QByteArrayView(bytes).first(cut));
}

// Replaces the key's value in place, or adds the key after the last non-empty line of the
// first section of that name, or the section with the key at the end.
void setValue(ProfileText& profile, const QString& section, const QString& key,
              const QString& value)
{
    QList<Line>& lines = profile.lines;
    const Text& text = profile.encoding;
    const qsizetype at = findKey(lines, section, key);
    if (at >= 0) {
        lines[at] = parseLine(text.encode(lines[at].name + u'=' + Files::OneLine(value)), text);
        return;
    }
    qsizetype insertAt = -1;
    bool inSection = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const Line& l = lines[i];
        if (l.kind == Line::Section) {
            if (insertAt >= 0)
                break;
            inSection = sameName(l.name, section);
            if (inSection)
                insertAt = i + 1;
        } else if (inSection && !TrimBlanks(text.decode(l.raw)).isEmpty()) {
            insertAt = i + 1;
        }
    }
    const Line added = parseLine(text.encode(key + u'=' + Files::OneLine(value)), text);
    if (insertAt >= 0) {
        lines.insert(insertAt, added);
    } else {
        lines.append(parseLine(text.encode(u'[' + section + u']'), text));
        lines.append(added);
    }
}

QString stringIn(const QList<Line>& lines, const QString& section, const QString& key,
                 const QString& defaultValue, int size)
{
    const qsizetype at = findKey(lines, section, key);
    const QString value = at >= 0 ? lines[at].value : defaultValue;
    return cutToBytes(value, qsizetype(size) - 1);
}

int intIn(const QList<Line>& lines, const QString& section, const QString& key, int defaultValue)
{
    const qsizetype at = findKey(lines, section, key);
    if (at < 0 || lines[at].value.isEmpty())
        return defaultValue;
    const QString& v = lines[at].value;
    qsizetype i = 0;
    bool negative = false;
    if (i < v.size() && (v[i] == u'+' || v[i] == u'-')) {
        negative = v[i] == u'-';
        ++i;
    }
    // Saturates, so that a huge value never wraps round to a small one.
    qint64 magnitude = 0;
    for (; i < v.size() && v[i] >= u'0' && v[i] <= u'9'; ++i) {
        magnitude = magnitude * 10 + (v[i].unicode() - u'0');
        if (magnitude > qint64(std::numeric_limits<int>::max()) + 1)
            magnitude = qint64(std::numeric_limits<int>::max()) + 1;
    }
    const qint64 result = negative ? -magnitude : magnitude;
    if (result > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    return static_cast<int>(result);
}

QByteArray composed(ProfileText profile, const QString& section,
                    const Profile::KeyValues& keyValues)
{
    for (const auto& [key, value] : keyValues)
        setValue(profile, section, key, value);
    QByteArray out = profile.encoding.mark();
    for (const Line& l : profile.lines) {
        out += l.raw;
        out += "\r\n";
    }
    return out;
}

} // namespace

namespace Profile
{

QString GetPrivateProfileString(const QString& section, const QString& key,
                                const QString& defaultValue, int size, const QString& file)
{
    return stringIn(readProfile(file).lines, section, key, defaultValue, size);
}

int GetPrivateProfileInt(const QString& section, const QString& key, int defaultValue,
                         const QString& file)
{
    return intIn(readProfile(file).lines, section, key, defaultValue);
}

QString ProfileStringIn(const QByteArray& bytes, const QString& section, const QString& key,
                        const QString& defaultValue, int size)
{
    ProfileText profile;
    parseProfile(profile, bytes);
    return stringIn(profile.lines, section, key, defaultValue, size);
}

int ProfileIntIn(const QByteArray& bytes, const QString& section, const QString& key,
                 int defaultValue)
{
    ProfileText profile;
    parseProfile(profile, bytes);
    return intIn(profile.lines, section, key, defaultValue);
}

QByteArray WithProfileStrings(const QByteArray& bytes, const QString& section,
                              const KeyValues& keyValues)
{
    ProfileText profile;
    parseProfile(profile, bytes);
    return composed(profile, section, keyValues);
}

bool WritePrivateProfileString(const QString& section, const QString& key, const QString& value,
                               const QString& file, QString* error)
{
    return WritePrivateProfileStrings(section, {{key, value}}, file, error);
}

bool WritePrivateProfileStrings(const QString& section, const KeyValues& keyValues,
                                const QString& file, QString* error)
{
    const auto refuse = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    bool exists = false;
    ProfileText profile = readProfile(file, &exists);
    if (exists) {
        const QFileInfo info(file);
        if (!info.isReadable())
            return refuse(Files::NotReadable(file));
        if (!profile.readError.isEmpty())
            return refuse(Files::NotReadable(file, profile.readError));
        if (Files::IsReadOnly(Files::Path(file)))
            return refuse(Files::ReadOnly(file));
    } else if (QFileInfo(file).exists()) {
        return refuse(Files::NotAFile(file)); // a folder stands there
    }

    const FileResult written =
        Files::WriteAtomically(Files::Path(file), composed(profile, section, keyValues));
    return written.ok || refuse(written.message);
}

} // namespace Profile
