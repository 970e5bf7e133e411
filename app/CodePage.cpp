#include "app/CodePage.h"

#include <cerrno>
#include <cstring>
#include <iconv.h>

#include <QStringList>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace
{

#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr const char* Utf16Name = "UTF-16LE";
#else
constexpr const char* Utf16Name = "UTF-16BE";
#endif

// glibc knows Windows-31J as "CP932"; the descriptors are kept per thread because
// opening one costs more than converting a typical line.
struct Converter final {
    Converter(const char* to, const char* from) : cd(iconv_open(to, from)) {}
    ~Converter()
    {
        if (cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool valid() const { return cd != reinterpret_cast<iconv_t>(-1); }
    void reset() { iconv(cd, nullptr, nullptr, nullptr, nullptr); }
    iconv_t cd;
};

Converter& encoder()
{
    thread_local Converter c("CP932", Utf16Name);
    return c;
}

Converter& decoder()
{
    thread_local Converter c(Utf16Name, "CP932");
    return c;
}

bool isTrailByte(unsigned char b)
{
    return b >= 0x40 && b <= 0xFC && b != 0x7F;
}

} // namespace

namespace CodePage
{

bool IsLeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

QByteArray ToAnsi(QStringView text)
{
    const qsizetype n = text.size();
    QByteArray out;
    if (n == 0)
        return out;

    if (QtPrivate::isAscii(text))
        return text.toLatin1();

    Converter& conv = encoder();
    // Every UTF-16 unit gives at most two bytes.
    out.resize(n * 2);
    if (!conv.valid()) {
        out.resize(0);
        for (qsizetype i = 0; i < n; ++i) {
            const char16_t c = text[i].unicode();
            if (QChar::isHighSurrogate(c) && i + 1 < n &&
                QChar::isLowSurrogate(text[i + 1].unicode()))
                ++i;
            out.append(c < 0x80 ? static_cast<char>(c) : '?');
        }
        return out;
    }
    conv.reset();
    char* in = const_cast<char*>(reinterpret_cast<const char*>(text.utf16()));
    size_t inLeft = static_cast<size_t>(n) * 2;
    char* dst = out.data();
    size_t outLeft = static_cast<size_t>(out.size());
    while (inLeft > 0) {
        if (iconv(conv.cd, &in, &inLeft, &dst, &outLeft) != static_cast<size_t>(-1))
            break;
        const int err = errno;
        if (err == E2BIG) {
            const qsizetype used = dst - out.data();
            out.resize(out.size() * 2 + 16);
            dst = out.data() + used;
            outLeft = static_cast<size_t>(out.size() - used);
            continue;
        }
        if (outLeft < 1) {
            const qsizetype used = dst - out.data();
            out.resize(out.size() * 2 + 16);
            dst = out.data() + used;
            outLeft = static_cast<size_t>(out.size() - used);
        }
        // EILSEQ: a character CP932 lacks; EINVAL: a high surrogate at the very end.
        // Either way one '?' stands for the whole character.
        const auto* unit = reinterpret_cast<const char16_t*>(in);
        size_t skip = 2;
        if (QChar::isHighSurrogate(unit[0]) && inLeft >= 4 && QChar::isLowSurrogate(unit[1]))
            skip = 4;
        *dst++ = '?';
        --outLeft;
        in += skip;
        inLeft -= skip;
        conv.reset();
    }
    out.resize(dst - out.data());
    return out;
}

QString FromAnsi(QByteArrayView bytes)
{
    const qsizetype n = bytes.size();
    if (n == 0)
        return {};
    if (QtPrivate::isAscii(QLatin1StringView(bytes.data(), n)))
        return QString::fromLatin1(bytes.data(), n);

    Converter& conv = decoder();
    // Every byte gives at most one UTF-16 unit.
    QString out(n, Qt::Uninitialized);
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = static_cast<size_t>(n);
    char* dst = reinterpret_cast<char*>(out.data());
    size_t outLeft = static_cast<size_t>(n) * 2;
    if (!conv.valid()) {
        QChar* d = out.data();
        for (char c : bytes)
            *d++ = static_cast<unsigned char>(c) < 0x80 ? QChar(QLatin1Char(c))
                                                        : QChar(QChar::ReplacementCharacter);
        return out;
    }
    conv.reset();
    while (inLeft > 0) {
        if (iconv(conv.cd, &in, &inLeft, &dst, &outLeft) != static_cast<size_t>(-1))
            break;
        const int err = errno;
        if (err == E2BIG || outLeft < 2) {
            const qsizetype used = (dst - reinterpret_cast<char*>(out.data())) / 2;
            out.resize(out.size() * 2 + 16);
            dst = reinterpret_cast<char*>(out.data()) + used * 2;
            outLeft = static_cast<size_t>(out.size() - used) * 2;
            if (err == E2BIG)
                continue;
        }
        // EILSEQ or a lead byte at the very end: one replacement character for the byte,
        // or for the pair when it is well formed but unassigned, so a trail byte never
        // turns into an ASCII character of its own.
        const auto* p = reinterpret_cast<const unsigned char*>(in);
        size_t skip = 1;
        if (inLeft >= 2 && IsLeadByte(p[0]) && isTrailByte(p[1]))
            skip = 2;
        const char16_t fffd = QChar::ReplacementCharacter;
        memcpy(dst, &fffd, 2);
        dst += 2;
        outLeft -= 2;
        in += skip;
        inLeft -= skip;
        conv.reset();
    }
    out.resize((dst - reinterpret_cast<char*>(out.data())) / 2);
    return out;
}

} // namespace CodePage

namespace
{

// The code points of text, each as its own short text.
QStringList codePoints(QStringView text)
{
    QStringList points;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool pair =
            text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        points.append(text.mid(i, pair ? 2 : 1).toString());
        if (pair)
            ++i;
    }
    return points;
}

bool survives(const QString& point, bool exact)
{
    const QByteArray bytes = CodePage::ToAnsi(point);
    if (bytes == "?")
        return point == u'?';
    return !exact || CodePage::FromAnsi(bytes) == point;
}

} // namespace

namespace CodePage
{

QString AsStored(QStringView text)
{
    return FromAnsi(ToAnsi(text));
}

QString Unrepresentable(QStringView text, bool exact)
{
    if (AsStored(text) == text)
        return {};
    QString lost;
    for (const QString& point : codePoints(text)) {
        if (!survives(point, exact) && !lost.contains(point))
            lost += point;
    }
    return lost;
}

QString UnrepresentableMessage(const QString& field, const QString& lost)
{
    QStringList names;
    for (const QString& point : codePoints(lost))
        names.append(u"「%1」(U+%2)"_s.arg(
            point, QString::number(point.toUcs4().value(0), 16).toUpper().rightJustified(4, u'0')));
    return u"%1に、Shift-JIS で保存できない文字があります: %2"_s.arg(field, names.join(u' '));
}

QString AnsiUrl(QStringView url)
{
    if (AsStored(url) == url)
        return url.toString();
    // The host follows "scheme://" and runs to the first of "/?#", past any user name and
    // before any port.
    qsizetype hostStart = -1, hostEnd = -1;
    const qsizetype slashes = url.indexOf(u"//");
    const qsizetype scheme = url.indexOf(u':');
    if (slashes > 0 && slashes == scheme + 1 && url.first(scheme).indexOf(u'/') < 0 &&
        url.first(scheme).indexOf(u'?') < 0 && url.first(scheme).indexOf(u'#') < 0) {
        hostStart = slashes + 2;
        hostEnd = hostStart;
        while (hostEnd < url.size() && !QStringView(u"/?#").contains(url[hostEnd]))
            ++hostEnd;
        const QStringView authority = url.first(hostEnd);
        if (const qsizetype at = authority.lastIndexOf(u'@'); at >= hostStart)
            hostStart = at + 1;
        const qsizetype colon = authority.lastIndexOf(u':');
        if (colon >= hostStart && colon > authority.lastIndexOf(u']'))
            hostEnd = colon;
    }
    QString out;
    const auto encode = [&out](QStringView part) {
        for (const QString& point : codePoints(part)) {
            if (survives(point, true)) {
                out += point;
                continue;
            }
            for (const char byte : point.toUtf8())
                out += u'%' + QString::number(uchar(byte), 16).toUpper().rightJustified(2, u'0');
        }
    };
    if (hostStart < 0) {
        encode(url);
        return out;
    }
    encode(url.first(hostStart));
    const QStringList labels = url.sliced(hostStart, hostEnd - hostStart).toString().split(u'.');
    for (qsizetype i = 0; i < labels.size(); ++i) {
        if (i > 0)
            out += u'.';
        const QByteArray ace = QUrl::toAce(labels[i]);
        if (Unrepresentable(labels[i], true).isEmpty() || ace.isEmpty())
            encode(labels[i]);
        else
            out += QString::fromLatin1(ace);
    }
    encode(url.sliced(hostEnd));
    return out;
}

} // namespace CodePage
