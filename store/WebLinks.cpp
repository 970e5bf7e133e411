#include "store/WebLinks.h"

#include "app/CodePage.h"
#include "app/Files.h"
#include "store/ItemFile.h"
#include "store/ItemFolder.h"

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>
#include <QTextBoundaryFinder>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace
{

const QString MozUrl = u"text/x-moz-url"_s;
const QString NetscapeUrl = u"_NETSCAPE_URL"_s;
const QString UriList = u"text/uri-list"_s;

// A link file is a few lines; more than this is no link file.
constexpr qint64 MaxLinkFileSize = 64 * 1024;

struct Candidate {
    QString url;
    QString title;
};

// Firefox writes text/x-moz-url as UTF-16 in the machine's byte order; others send UTF-8.
QString decodeMaybeUtf16(const QByteArray& bytes)
{
    QString text;
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF") ||
        (bytes.size() % 2 == 0 && bytes.contains('\0'))) {
        QStringDecoder decode(QStringDecoder::Utf16);
        text = decode(bytes);
    } else {
        text = QString::fromUtf8(bytes);
    }
    text.remove(QChar(0));
    return text;
}

QStringList lines(const QString& text)
{
    QStringList result = text.split(u'\n');
    for (QString& line : result)
        if (line.endsWith(u'\r'))
            line.chop(1);
    return result;
}

// Lines taken as pairs: the URL, then its title.
QList<Candidate> urlTitlePairs(const QString& text)
{
    const QStringList l = lines(text);
    QList<Candidate> result;
    for (qsizetype i = 0; i < l.size(); i += 2) {
        const QString url = l[i].trimmed();
        if (!url.isEmpty())
            result.append({url, i + 1 < l.size() ? l[i + 1] : QString()});
    }
    return result;
}

bool isFileUrl(const QString& text)
{
    return text.startsWith(u"file:"_s, Qt::CaseInsensitive);
}

// A plain-text line is a link when it is one word that begins with a scheme; a single letter
// before the colon is a Windows drive.
bool looksLikeUrl(const QString& line)
{
    static const QRegularExpression scheme(u"^[A-Za-z][A-Za-z0-9+.\\-]+:\\S*$"_s);
    return scheme.match(line).hasMatch();
}

QString unescapeDesktopValue(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != u'\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const QChar c = value[++i];
        out += c == u's'   ? QChar(u' ')
               : c == u'n' ? QChar(u'\n')
               : c == u't' ? QChar(u'\t')
               : c == u'r' ? QChar(u'\r')
                           : c;
    }
    return out;
}

// Control characters (a NUL, an escape sequence pasted from a terminal) stand escaped, as a
// browser sends them, and never reach the item file as they are.
QString withoutControls(const QString& url)
{
    QString out;
    out.reserve(url.size());
    for (const QChar c : url) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            out += u'%' + QString::number(c.unicode(), 16).toUpper().rightJustified(2, u'0');
        else
            out += c;
    }
    return out;
}

void take(const Candidate& c, WebLinks& into, const QString& shown = {})
{
    const QString named = shown.isEmpty() ? c.url : shown;
    const QUrl url(c.url);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.scheme().isEmpty()) {
        into.Refused.append({named, u"URLとして読めません。"_s});
        return;
    }
    if (scheme != u"http"_s && scheme != u"https"_s) {
        into.Refused.append({named, u"http か https のリンクではありません。"_s});
        return;
    }
    if (url.host().isEmpty()) {
        into.Refused.append({named, u"ホスト名がありません。"_s});
        return;
    }
    // A title that only repeats the address says less than host and path.
    const QString carried = c.title.simplified();
    QString title = carried == c.url ? QString() : TitleAsFileName(carried);
    if (title.isEmpty())
        title = TitleAsFileName(DefaultTitle(url));
    if (title.isEmpty()) {
        into.Refused.append({named, u"タイトルにできる文字がありません。"_s});
        return;
    }
    into.Links.append({withoutControls(c.url), title});
}

bool isReservedBase(const QString& title)
{
    // TitleProblem knows the device names; a cleaned base can fail it for nothing else.
    QString base = title.section(u'.', 0, 0);
    while (base.endsWith(u' '))
        base.chop(1);
    return !base.isEmpty() && !TitleProblem(base).isEmpty();
}

// Windows drops trailing blanks and dots from a name; a leading dot hides the file here.
QString trimEnds(QString title)
{
    while (!title.isEmpty() && (title.back() == u' ' || title.back() == u'.'))
        title.chop(1);
    qsizetype start = 0;
    while (start < title.size() && (title[start] == u' ' || title[start] == u'.'))
        ++start;
    return title.mid(start);
}

bool fits(const QString& title, const QString& suffix)
{
    return QFile::encodeName(title + suffix + u".url"_s).size() <= 255;
}

QUrl comparable(const QString& text)
{
    QUrl url(CodePage::AnsiUrl(text.trimmed()));
    if (url.path().isEmpty())
        url.setPath(u"/"_s);
    return url;
}

} // namespace

bool MayCarryLinks(const QMimeData* data)
{
    return data && (data->hasUrls() || data->hasFormat(MozUrl) || data->hasFormat(NetscapeUrl) ||
                    data->hasText());
}

WebLinks LinksIn(const QMimeData* data)
{
    WebLinks result;
    if (!data)
        return result;

    // The local files of the drop are the shortcut import's, or link files read here.
    QSet<QString> localFiles;
    for (const QUrl& url : data->hasUrls() ? data->urls() : QList<QUrl>{}) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        localFiles.insert(path);
        if (path.endsWith(u".desktop"_s, Qt::CaseInsensitive))
            ReadLinkFile(path, result);
    }

    QList<Candidate> candidates;
    bool fromUriList = false;
    // Asked for by name: an X11 drop lists text/x-moz-url as text/uri-list, yet gives it.
    const QByteArray moz = data->data(MozUrl);
    const QByteArray netscape = moz.isEmpty() ? data->data(NetscapeUrl) : QByteArray();
    if (!moz.isEmpty()) {
        candidates = urlTitlePairs(decodeMaybeUtf16(moz));
    } else if (!netscape.isEmpty()) {
        candidates = urlTitlePairs(decodeMaybeUtf16(netscape));
    } else if (data->hasFormat(UriList)) {
        fromUriList = true;
        for (const QString& line : lines(QString::fromUtf8(data->data(UriList)))) {
            const QString url = line.trimmed();
            if (!url.isEmpty() && !url.startsWith(u'#'))
                candidates.append({url, {}});
        }
    } else if (data->hasText()) {
        for (const QString& line : lines(data->text())) {
            if (const QString url = line.trimmed(); looksLikeUrl(url))
                candidates.append({url, {}});
        }
    }
    for (const Candidate& c : std::as_const(candidates)) {
        // The uri-list's files were taken above; a titled form may name one of them again.
        if (isFileUrl(c.url)) {
            const QUrl url(c.url);
            if (fromUriList || (url.isLocalFile() && localFiles.contains(url.toLocalFile())))
                continue;
        }
        take(c, result);
    }
    return result;
}

void ReadLinkFile(const QString& path, WebLinks& into)
{
    const QString shown = QDir::toNativeSeparators(path);
    QByteArray bytes;
    QString error;
    // A FIFO or a device named *.desktop is refused at once; a long file is no link file.
    if (!Files::Read(Files::Path(path), &bytes, &error, MaxLinkFileSize) &&
        error != Files::TooLarge(MaxLinkFileSize)) {
        into.Refused.append({shown, u"読み込めません: %1"_s.arg(error)});
        return;
    }
    const bool tooLong = !error.isEmpty();
    QString type, url, name, localName;
    bool inEntry = false;
    for (const QString& raw : lines(QString::fromUtf8(bytes))) {
        const QString line = raw.trimmed();
        if (line.startsWith(u'[')) {
            inEntry = line == u"[Desktop Entry]"_s;
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (!inEntry || eq < 0 || line.startsWith(u'#'))
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = unescapeDesktopValue(line.mid(eq + 1).trimmed());
        if (key == u"Type"_s)
            type = value;
        else if (key == u"URL"_s || key == u"URL[$e]"_s)
            url = value;
        else if (key == u"Name"_s)
            name = value;
        else if (key == u"Name[ja]"_s || key == u"Name[ja_JP]"_s)
            localName = value;
    }
    if (tooLong || type != u"Link"_s || url.isEmpty()) {
        into.Refused.append(
            {shown, u"リンク（Type=Link と URL）のデスクトップファイルではありません。"_s});
        return;
    }
    take({url, localName.isEmpty() ? name : localName}, into, u"%1 (%2)"_s.arg(shown, url));
}

QString TitleAsFileName(const QString& title, const QString& suffix)
{
    static const QString forbidden = u"\\/:*?\"<>|"_s;
    static const QString fullWidth = u"＼／：＊？＂＜＞｜"_s;
    QString t;
    t.reserve(title.size());
    for (const QChar c : title) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            t += u' ';
        else if (const qsizetype i = forbidden.indexOf(c); i >= 0)
            t += fullWidth[i];
        else
            t += c;
    }
    t = trimEnds(t.simplified());
    if (isReservedBase(t)) {
        const qsizetype dot = t.indexOf(u'.');
        t.insert(dot < 0 ? t.size() : dot, u'_');
    }
    if (!fits(t, suffix)) {
        QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, t);
        qsizetype cut = 0;
        for (qsizetype at = graphemes.toNextBoundary(); at > 0 && fits(t.left(at), suffix);
             at = graphemes.toNextBoundary())
            cut = at;
        t = trimEnds(t.left(cut));
    }
    return TitleProblem(t + suffix).isEmpty() ? t : QString();
}

QString DefaultTitle(const QUrl& url)
{
    // An IPv6 address is no ACE name: as written in the address, brackets and all.
    const QString host = url.host(QUrl::FullyEncoded);
    QStringList parts{host.contains(u':') ? u'[' + host + u']' : QUrl::fromAce(host.toLatin1())};
    for (const QString& segment : url.path(QUrl::FullyDecoded).split(u'/', Qt::SkipEmptyParts))
        parts.append(segment);
    return parts.join(u' ');
}

LinkPlacer::LinkPlacer(const QString& folderPath) : folderPath(folderPath), index(folderPath) {}

LinkPlacement LinkPlacer::Place(const WebLink& link)
{
    const QUrl wanted = comparable(link.URL);
    Tried& t = tried[link.Title];
    if (const auto found = t.byUrl.constFind(wanted); found != t.byUrl.cend())
        return {t.titles[*found], true, t.names[*found]};
    for (;;) {
        const qsizetype n = t.titles.size() + 1;
        const QString suffix = n == 1 ? QString() : u" (%1)"_s.arg(n);
        const QString title = (n == 1 ? link.Title : TitleAsFileName(link.Title, suffix)) + suffix;
        const QString fileName = title + u".url"_s;
        const QByteArray existing = index.Find(fileName);
        // A title no file may bear is left to the writer to refuse.
        if (existing.isEmpty())
            return {title, false,
                    TitleProblem(title).isEmpty() ? index.NewName(fileName) : QByteArray()};
        const QUrl stored = storedUrl(existing);
        t.titles.append(title);
        t.names.append(existing);
        t.byUrl.insert(stored, n - 1); // never there yet: it would have been found above
        if (stored == wanted)
            return {title, true, existing};
    }
}

void LinkPlacer::Written(const LinkPlacement& placement, const WebLink& link)
{
    index.Add(placement.FileName);
    urls.insert(placement.FileName, comparable(link.URL));
}

QUrl LinkPlacer::storedUrl(const QByteArray& name)
{
    auto found = urls.find(name);
    if (found == urls.end())
        found = urls.insert(name, comparable(ReadItemFile(folderPath, name).URL));
    return *found;
}
