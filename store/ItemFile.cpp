#include "store/ItemFile.h"

#include "app/CodePage.h"
#include "app/Module1.h"
#include "app/NumericValue.h"
#include "store/ItemFileStamp.h"
#include "store/ItemFolder.h"

#include <QFile>

#include <algorithm>
#include <iterator>

using namespace Qt::StringLiterals;

namespace
{

const QString UrlExtension = u".url"_s;
const QString PrivateHeader = u"[SiteVigil]"_s;
const QString ShortcutSection = u"InternetShortcut"_s;

QString sectionName(const QString& line)
{
    return IsSectionHeader(line) ? line.mid(1, line.size() - 2) : QString();
}

bool isUrlLine(const QString& line)
{
    return line.left(4).toUpper() == u"URL="_s;
}

void setNumber(qint16& field, QStringView text)
{
    if (const std::optional<qint16> v = RoundToInt16(NumericValue(text)))
        field = *v;
}

bool isReservedDeviceName(const QString& title)
{
    // Windows reserves these names with any extension, so only the part before the first
    // dot counts, with trailing blanks ignored.
    QString base = title.section(u'.', 0, 0).toUpper();
    while (base.endsWith(u' '))
        base.chop(1);
    static const QStringList fixed = {u"CON"_s, u"PRN"_s,    u"AUX"_s,
                                      u"NUL"_s, u"CONIN$"_s, u"CONOUT$"_s};
    if (fixed.contains(base))
        return true;
    if (base.size() == 4 && (base.startsWith(u"COM"_s) || base.startsWith(u"LPT"_s))) {
        const QChar d = base[3];
        return (d >= u'1' && d <= u'9') || d == QChar(0xB9) || d == QChar(0xB2) || d == QChar(0xB3);
    }
    return false;
}

} // namespace

QString TitleProblem(const QString& title)
{
    if (title.isEmpty())
        return u"タイトルが空です。"_s;
    if (title == u"."_s || title == u".."_s)
        return u"「%1」はタイトルに使えません。"_s.arg(title);
    if (title.startsWith(u'.'))
        return u"タイトルの先頭に「.」は使えません。"_s;
    static const QString forbidden = u"\\/:*?\"<>|"_s;
    for (const QChar c : title) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return u"タイトルに制御文字は使えません。"_s;
        if (forbidden.contains(c))
            return u"タイトルに次の文字は使えません: \\ / : * ? \" < > |"_s;
    }
    if (isReservedDeviceName(title))
        return u"「%1」は装置名のため、タイトルに使えません。"_s.arg(title);
    if (QFile::encodeName(title + UrlExtension).size() > 255)
        return u"タイトルが長すぎます。"_s;
    return {};
}

namespace
{

void readInto(ItemRecord& item, const QByteArray& path, ItemFileStamps* stamps)
{
    QByteArray bytes;
    QString error;
    Files::FileIdentity identity;
    const bool readable =
        Files::Read(path, &bytes, &error, MaxItemFileBytes, stamps ? &identity : nullptr);
    if (stamps)
        stamps->Take(item.FileName, bytes, identity);
    if (readable)
        ParseItemFile(bytes, item);
}

// Only a line that holds '[' can decode to a section header (no CP932 or UTF-8 sequence
// gives an ASCII character but the byte itself), and a URL line counts in the shortcut
// section alone: the lines before the next '[' outside it are passed over undecoded.
QByteArrayView skipUnread(Files::LineReader& lines, bool inShortcut)
{
    return inShortcut ? QByteArrayView() : lines.SkipToLineWith('[');
}

// What a line is to the reader and the writer. An ASCII line (the usual one) decodes to its
// bytes, so it is judged on them without decoding.
struct LineKind {
    bool header = false;    // a section header
    bool shortcut = false;  // the shortcut section's
    bool ownHeader = false; // the private section's
    bool url = false;       // a URL line, in any section
};

LineKind kindOf(QByteArrayView raw, const Files::TextEncoding& text)
{
    LineKind kind;
    if (QtPrivate::isAscii(QLatin1StringView(raw))) {
        kind.header = !raw.isEmpty() && raw.front() == '[' && raw.back() == ']';
        kind.shortcut = kind.header && raw.sliced(1, raw.size() - 2) == "InternetShortcut";
        kind.ownHeader = raw == "[SiteVigil]";
        kind.url = QLatin1StringView(raw.first(std::min<qsizetype>(raw.size(), 4)))
                       .compare("URL="_L1, Qt::CaseInsensitive) == 0;
        return kind;
    }
    const QString line = text.decode(raw);
    kind.header = IsSectionHeader(line);
    kind.shortcut = kind.header && sectionName(line) == ShortcutSection;
    kind.ownHeader = line == PrivateHeader;
    kind.url = isUrlLine(line);
    return kind;
}

} // namespace

void ParseItemFile(QByteArray bytes, ItemRecord& item)
{
    if (Files::IsUtf16(bytes))
        return;
    QByteArrayView rest(bytes);
    const Files::TextEncoding text = Files::TakeByteOrderMark(&rest);

    Files::LineReader lines(rest, true);
    bool inShortcut = false;
    for (QByteArrayView raw;;) {
        skipUnread(lines, inShortcut);
        if (!lines.Next(raw))
            break;
        const LineKind kind = kindOf(raw, text);
        if (kind.header)
            inShortcut = kind.shortcut;
        if (inShortcut && kind.url) {
            item.URL = text.decode(raw).mid(4);
        } else if (kind.ownHeader) {
            // The three values are taken by position, whatever their keys; lines missing
            // at the end of the file leave their fields alone.
            if (lines.Next(raw)) {
                const QString err = text.decode(raw);
                if (err.size() >= 4)
                    setNumber(item.Err, QStringView(err).mid(4));
            }
            if (lines.Next(raw)) {
                const QString info = text.decode(raw);
                if (info.size() >= 5)
                    item.Info = info.mid(5);
            }
            if (lines.Next(raw)) {
                const QString check = text.decode(raw);
                if (check.size() >= 11)
                    setNumber(item.Check2Byte, QStringView(check).mid(11));
            }
            if (item.Check2Byte != 0 && item.Check2Byte != 1)
                item.Check2Byte = 0;
        }
    }
}

ItemRecord ReadItemFile(const QString& folderPath, const QByteArray& fileName,
                        ItemFileStamps* stamps)
{
    ItemRecord item;
    item.Title = ItemTitle(fileName);
    item.FileName = fileName;
    readInto(item, ListedFilePath(folderPath, fileName), stamps);
    return item;
}

QString StoredErrorInfo(const QString& folderPath, const QByteArray& fileName)
{
    static const QString prefix = ErrorPrefix();
    // The prefix as CP932, UTF-8 and UTF-16LE bytes: whatever way the file is read below.
    static const QByteArray encodings[] = {
        CodePage::ToAnsi(prefix), prefix.toUtf8(),
        QByteArray(reinterpret_cast<const char*>(prefix.utf16()), prefix.size() * 2)};
    QByteArray bytes;
    QString error;
    if (!Files::Read(ListedFilePath(folderPath, fileName), &bytes, &error, MaxItemFileBytes))
        return error == Files::TooLarge(MaxItemFileBytes) ? error : QString();
    if (std::none_of(std::begin(encodings), std::end(encodings),
                     [&](const QByteArray& e) { return bytes.contains(e); }))
        return {};
    const QString info = ReadItemFile(folderPath, fileName).Info;
    return info.startsWith(prefix) ? info : QString();
}

ItemFilePlace PlaceItemFile(const QString& folderPath, const QString& fileName,
                            const QByteArray& listedName)
{
    const QString title = fileName.left(fileName.size() - UrlExtension.size());
    QByteArray existing;
    if (!listedName.isEmpty() && ItemTitle(listedName) == title)
        existing = listedName;
    else
        existing = FindItemFile(folderPath, fileName);
    if (existing.isEmpty())
        return {Files::Path(folderPath + fileName), TitleProblem(title)};
    const QByteArray path = ListedFilePath(folderPath, existing);
    // A link unpacked into the item folder must not carry a write to a file outside it.
    if (const QByteArray target = Files::LinkTarget(path);
        !target.isEmpty() && !target.toLower().endsWith(".url"))
        return {path, u"「%1」は「%2」へのリンクで、その先はアイテムファイルではないため、"
                      u"書き換えずにそのまま残しました。"_s.arg(Files::Display(path),
                                                                Files::Display(target))};
    return {path, {}};
}

namespace
{

// The checks every rewrite of an existing item file makes before it reads the file whole.
FileResult readForRewrite(const QByteArray& path, QByteArray* old)
{
    const QString shown = Files::Display(path);
    if (Files::IsReadOnly(path))
        return FileResult::Failure(Files::ReadOnlyNotWritten(shown));
    QString error;
    // Rewriting a file that cannot be read would lose its own lines.
    if (!Files::Read(path, old, &error, MaxItemFileBytes))
        return FileResult::Failure(Files::NotReadable(shown, error));
    if (Files::IsUtf16(*old))
        return FileResult::Failure(
            u"「%1」はUTF-16で書かれているため、書き換えずにそのまま残しました。"
            u"Shift-JISかUTF-8で保存し直してください。"_s.arg(shown));
    return {};
}

} // namespace

FileResult EditItemFile(const QString& folderPath, const QByteArray& fileName,
                        const ItemFileEdit& edit)
{
    const ItemFilePlace place =
        PlaceItemFile(folderPath, ItemTitle(fileName) + UrlExtension, fileName);
    if (!place.problem.isEmpty())
        return FileResult::Failure(place.problem);
    if (!Files::IsFile(place.path))
        return FileResult::Failure(Files::NotFound(Files::Display(place.path)));
    QByteArray old;
    if (const FileResult read = readForRewrite(place.path, &old); !read.ok)
        return read;
    const QByteArray before = old;
    const Files::TextEncoding text = Files::TakeByteOrderMark(&old);
    QByteArray edited = edit(old, text);
    if (!text.utf8 && Files::LooksMarked(edited)) // as WriteItemFile guards it
        edited.prepend("\r\n");
    const QByteArray content = text.mark() + edited;
    // Nothing to change is no reason to replace the file.
    return content == before ? FileResult{} : Files::WriteAtomically(place.path, content);
}

FileResult WriteItemFile(const QString& folderPath, const ItemRecord& item, ItemFileStamps* stamps)
{
    const ItemFilePlace place = PlaceItemFile(folderPath, item.Title + UrlExtension, item.FileName);
    if (!place.problem.isEmpty())
        return FileResult::Failure(place.problem);
    const QByteArray& path = place.path;

    QByteArray old;
    const bool exists = Files::IsFile(path);
    if (exists) {
        if (const FileResult read = readForRewrite(path, &old); !read.ok)
            return read;
    }
    const QByteArray content = ComposeItemFile(exists ? std::optional(old) : std::nullopt, item);
    if (!stamps || !stamps->Has(path))
        return Files::WriteAtomically(path, content);
    const FileResult written =
        Files::WriteAtomically(path, content, [&] { return stamps->Refusal(path); });
    if (written.ok)
        stamps->Renew(path, content); // a later write of this run replaces its own content
    return written;
}

QList<FileResult> WriteItemFiles(const QString& folderPath, const QList<ItemRecord>& items)
{
    QList<FileResult> results(items.size());
    QList<std::pair<QByteArray, QByteArray>> created;
    QList<qsizetype> createdAt;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const ItemRecord& item = items.at(i);
        const ItemFilePlace place =
            PlaceItemFile(folderPath, item.Title + UrlExtension, item.FileName);
        if (!place.problem.isEmpty()) {
            results[i] = FileResult::Failure(place.problem);
        } else if (Files::IsFile(place.path)) {
            results[i] = WriteItemFile(folderPath, item); // its own lines to keep
        } else {
            created.append({place.path, ComposeItemFile(std::nullopt, item)});
            createdAt.append(i);
        }
    }
    const QList<FileResult> written = Files::WriteAllAtomically(created);
    for (qsizetype k = 0; k < written.size(); ++k)
        results[createdAt.at(k)] = written.at(k);
    return results;
}

QByteArray ComposeItemFile(const std::optional<QByteArray>& file, const ItemRecord& item)
{
    const bool exists = file.has_value();
    QByteArrayView old = exists ? QByteArrayView(*file) : QByteArrayView();
    const Files::TextEncoding text = Files::TakeByteOrderMark(&old);
    // Characters CP932 cannot give back are written as a browser sends them, so that the
    // stored address still leads to the same page; UTF-8 holds them all.
    const QString urlText = Files::OneLine(item.URL);
    const QByteArray url =
        text.utf8 ? urlText.toUtf8() : CodePage::ToAnsi(CodePage::AnsiUrl(urlText));
    const QByteArray urlLine = "URL=" + url + "\r\n";
    const QByteArray err = text.encode(NumberText(item.Err));
    // A lone LF is a character of its line, so it stays; a CR would end the line.
    const QByteArray info = text.encode(Files::OneLine(item.Info, true));
    const QByteArray check = text.encode(NumberText(item.Check2Byte));
    const qsizetype tail = err.size() + info.size() + check.size() + 48;

    QByteArray kept;
    if (exists) {
        // Room for the old lines, each end grown to CR LF, the new URL line and the tail.
        kept.reserve(old.size() + old.count('\r') + old.count('\n') + urlLine.size() + tail);
        Files::LineReader lines(old, true);
        // The section as the rewritten file will show it: lines that followed a dropped
        // private section (before the next header) join the section before it, so a URL
        // line among them is replaced too, or it would override the URL on the next read.
        bool inShortcut = false;
        for (QByteArrayView raw;;) {
            lines.AppendWithCRLF(kept, skipUnread(lines, inShortcut));
            if (!lines.Next(raw))
                break;
            const LineKind kind = kindOf(raw, text);
            if (kind.header && !kind.ownHeader)
                inShortcut = kind.shortcut;
            if (inShortcut && kind.url) {
                kept += urlLine;
            } else if (kind.ownHeader) {
                // Its three lines are written anew at the end.
                for (int k = 0; k < 3 && lines.Next(raw); ++k)
                    ;
            } else {
                kept += raw;
                kept += "\r\n";
            }
        }
        if (kept.endsWith("\r\n"))
            kept.chop(2);
    } else {
        kept = "[InternetShortcut]\r\n" + urlLine;
    }

    // A CP932 file must not begin like a byte-order mark (a foreign line that came first once
    // the private section was taken out), or the next read would take it for UTF-8 or UTF-16.
    if (!text.utf8 && Files::LooksMarked(kept))
        kept.prepend("\r\n");
    QByteArray content;
    if (text.utf8) {
        content.reserve(text.mark().size() + kept.size() + tail);
        content += text.mark();
        content += kept;
    } else {
        content = std::move(kept);
    }
    content += "\r\n[SiteVigil]\r\nErr=";
    content += err;
    content += "\r\nInfo=";
    content += info;
    content += "\r\nCheck2Byte=";
    content += check;
    content += "\r\n";

    return content;
}
