#include "app/Profile.h"

#include "app/CodePage.h"
#include "app/Files.h"

#include <QFileInfo>
#include <QStringList>
#include <limits>

using namespace Qt::StringLiterals;

namespace
{

using Files::TrimBlanks;
using Text = Files::TextEncoding;

// What a line of the file means.
struct Parsed {
    enum Kind { Other, Section, Key } kind = Other;
    QString name;  // section name or key name, trimmed
    QString value; // key value, trimmed, quotes removed
};

Parsed parseLine(QByteArrayView raw, const Text& encoding)
{
    Parsed line;
    const QString text = TrimBlanks(encoding.decode(raw));
    if (text.startsWith(u'[')) {
        qsizetype close = text.indexOf(u']', 1);
        if (close < 0)
            close = text.size();
        line.kind = Parsed::Section;
        line.name = TrimBlanks(QStringView(text).mid(1, close - 1));
        return line;
    }
    const qsizetype eq = text.indexOf(u'=');
    if (eq <= 0)
        return line;
    line.kind = Parsed::Key;
    line.name = TrimBlanks(QStringView(text).left(eq));
    QString value = TrimBlanks(QStringView(text).mid(eq + 1));
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    line.value = value;
    return line;
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// One line of the file as it stands (kept untouched on rewrite), and whether it heads a
// section, and the section worked on. Other lines are parsed only within that section, so
// that the many lines of a large file cost no decoding.
struct Line {
    QByteArray raw;      // shares the file's bytes, unless setValue wrote it
    bool header = false; // a section header
    bool named = false;  // the header of the section worked on
    bool run = false;    // several lines, their ends included, outside that section
};

// The bytes without blanks at either end, as TrimBlanks has it.
QByteArrayView trimmed(QByteArrayView bytes)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    qsizetype b = 0, e = bytes.size();
    while (b < e && blank(bytes[b]))
        ++b;
    while (e > b && blank(bytes[e - 1]))
        --e;
    return bytes.sliced(b, e - b);
}

// Whether raw heads a section, and the section worked on.
struct Header {
    bool header = false;
    bool named = false;
};

Header headerOf(QByteArrayView raw, const Text& encoding, const QString& section)
{
    // Only a line that holds '[' can decode to one that begins with it: no CP932 or UTF-8
    // sequence gives an ASCII character but the byte itself.
    if (!raw.contains('['))
        return {};
    if (QtPrivate::isAscii(QLatin1StringView(raw))) {
        // As parseLine has it, on bytes that decode to themselves.
        const QByteArrayView text = trimmed(raw);
        if (!text.startsWith('['))
            return {};
        qsizetype close = text.indexOf(']', 1);
        if (close < 0)
            close = text.size();
        const QByteArrayView name = trimmed(text.sliced(1, close - 1));
        return {true, QLatin1StringView(name).compare(section, Qt::CaseInsensitive) == 0};
    }
    const Parsed parsed = parseLine(raw, encoding);
    const bool header = parsed.kind == Parsed::Section;
    return {header, header && sameName(parsed.name, section)};
}

Line lineOf(QByteArray bytes, const Text& encoding, const QString& section)
{
    const Header h = headerOf(bytes, encoding, section);
    return Line{std::move(bytes), h.header, h.named};
}

// Far above any settings file; a larger one (or a FIFO, a device) is not read, nor replaced.
constexpr qint64 MaxProfileBytes = 1 << 20;

struct ProfileText {
    QString section;         // the one section read or written
    QByteArray bytes;        // the file's without its mark, which the lines share
    bool forRewrite = false; // with the lines; a read walks the bytes
    QList<Line> lines;
    Text encoding;
    QString readError; // the file is there but could not be read
};

void parseProfile(ProfileText& profile, QByteArray bytes, bool forRewrite)
{
    // A UTF-8 mark (some Linux editors write one) is read past and kept on rewrite.
    profile.encoding = Files::TakeByteOrderMark(&bytes);
    profile.bytes = std::move(bytes);
    profile.forRewrite = forRewrite;
    if (!forRewrite)
        return;
    const auto shared = [](QByteArrayView raw) {
        return QByteArray::fromRawData(raw.data(), raw.size());
    };
    Files::LineReader reader(profile.bytes);
    // A line that holds '[' and the run before it, or more in the section worked on.
    profile.lines.reserve(2 * profile.bytes.count('[') + 8);
    bool inSection = false;
    for (QByteArrayView raw;;) {
        // Outside the section worked on, only a line that holds '[' can matter: one that
        // heads a section.
        if (const QByteArrayView run = inSection ? QByteArrayView() : reader.SkipToLineWith('[');
            !run.isEmpty())
            profile.lines.append(Line{shared(run), false, false, true});
        if (!reader.Next(raw))
            break;
        profile.lines.append(lineOf(shared(raw), profile.encoding, profile.section));
        if (profile.lines.back().header)
            inSection = profile.lines.back().named;
    }
}

ProfileText readProfile(const QString& file, const QString& section, bool forRewrite,
                        bool* exists = nullptr)
{
    ProfileText profile;
    profile.section = section;
    profile.forRewrite = forRewrite;
    if (exists)
        *exists = Files::IsFile(Files::Path(file));
    QByteArray bytes;
    QString error;
    if (!Files::Read(Files::Path(file), &bytes, &error, MaxProfileBytes)) {
        profile.readError = error;
        return profile;
    }
    parseProfile(profile, std::move(bytes), forRewrite);
    return profile;
}

ProfileText profileIn(const QByteArray& bytes, const QString& section, bool forRewrite)
{
    ProfileText profile;
    profile.section = section;
    parseProfile(profile, bytes, forRewrite);
    return profile;
}

// Index of the first line of key in the first section of the profile's name that holds it,
// -1 when there is none; found, when given, takes what the line means. A read (no lines)
// gives 0 for any line found.
qsizetype findKey(const ProfileText& profile, const QString& key, Parsed* found = nullptr)
{
    const auto isKey = [&](QByteArrayView raw) {
        Parsed parsed = parseLine(raw, profile.encoding);
        if (parsed.kind != Parsed::Key || !sameName(parsed.name, key))
            return false;
        if (found)
            *found = std::move(parsed);
        return true;
    };
    bool inSection = false;
    if (!profile.forRewrite) {
        Files::LineReader reader(profile.bytes);
        for (QByteArrayView raw;;) {
            if (!inSection) // as parseProfile passes over them
                reader.SkipToLineWith('[');
            if (!reader.Next(raw))
                return -1;
            if (const Header h = headerOf(raw, profile.encoding, profile.section); h.header)
                inSection = h.named;
            else if (inSection && isKey(raw))
                return 0;
        }
    }
    for (qsizetype i = 0; i < profile.lines.size(); ++i) {
        const Line& l = profile.lines[i];
        if (l.header)
            inSection = l.named;
        else if (inSection && !l.run && isKey(l.raw))
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
void setValue(ProfileText& profile, const QString& key, const QString& value)
{
    QList<Line>& lines = profile.lines;
    const Text& text = profile.encoding;
    const QString& section = profile.section;
    Parsed found;
    const qsizetype at = findKey(profile, key, &found);
    if (at >= 0) {
        lines[at] = lineOf(text.encode(found.name + u'=' + Files::OneLine(value)), text, section);
        return;
    }
    qsizetype insertAt = -1;
    bool inSection = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const Line& l = lines[i];
        if (l.header) {
            if (insertAt >= 0)
                break;
            inSection = l.named;
            if (inSection)
                insertAt = i + 1;
        } else if (inSection && !l.run && !TrimBlanks(text.decode(l.raw)).isEmpty()) {
            insertAt = i + 1;
        }
    }
    const Line added = lineOf(text.encode(key + u'=' + Files::OneLine(value)), text, section);
    if (insertAt >= 0) {
        lines.insert(insertAt, added);
    } else {
        lines.append(lineOf(text.encode(u'[' + section + u']'), text, section));
        lines.append(added);
    }
}

QString stringIn(const ProfileText& profile, const QString& key, const QString& defaultValue,
                 int size)
{
    Parsed found;
    const qsizetype at = findKey(profile, key, &found);
    const QString value = at >= 0 ? found.value : defaultValue;
    return cutToBytes(value, qsizetype(size) - 1);
}

int intIn(const ProfileText& profile, const QString& key, int defaultValue)
{
    Parsed found;
    const qsizetype at = findKey(profile, key, &found);
    if (at < 0 || found.value.isEmpty())
        return defaultValue;
    const QString& v = found.value;
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

QByteArray composed(ProfileText& profile, const Profile::KeyValues& keyValues)
{
    for (const auto& [key, value] : keyValues)
        setValue(profile, key, value);
    const QByteArray mark = profile.encoding.mark();
    qsizetype size = mark.size();
    for (const Line& l : profile.lines)
        size += l.raw.size() + 2;
    QByteArray out;
    out.reserve(size);
    out += mark;
    for (const Line& l : profile.lines) {
        if (l.run) {
            Files::LineReader::AppendLinesWithCRLF(out, l.raw);
        } else {
            out += l.raw;
            out += "\r\n";
        }
    }
    return out;
}

} // namespace

namespace Profile
{

QString GetPrivateProfileString(const QString& section, const QString& key,
                                const QString& defaultValue, int size, const QString& file)
{
    return stringIn(readProfile(file, section, false), key, defaultValue, size);
}

int GetPrivateProfileInt(const QString& section, const QString& key, int defaultValue,
                         const QString& file)
{
    return intIn(readProfile(file, section, false), key, defaultValue);
}

QString ProfileStringIn(const QByteArray& bytes, const QString& section, const QString& key,
                        const QString& defaultValue, int size)
{
    return stringIn(profileIn(bytes, section, false), key, defaultValue, size);
}

int ProfileIntIn(const QByteArray& bytes, const QString& section, const QString& key,
                 int defaultValue)
{
    return intIn(profileIn(bytes, section, false), key, defaultValue);
}

QByteArray WithProfileStrings(const QByteArray& bytes, const QString& section,
                              const KeyValues& keyValues)
{
    ProfileText profile = profileIn(bytes, section, true);
    return composed(profile, keyValues);
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
    ProfileText profile = readProfile(file, section, true, &exists);
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
        Files::WriteAtomically(Files::Path(file), composed(profile, keyValues));
    return written.ok || refuse(written.message);
}

} // namespace Profile
