#include "store/ItemFolder.h"

#include "app/AtomicFile.h"
#include "app/Files.h"
#include "app/SystemError.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace
{

// Windows orders and matches names by comparing their upper-cased UTF-16 units.
QString upperKey(const QString& name)
{
    QString key = name;
    for (QChar& c : key)
        c = c.toUpper();
    return key;
}

struct Prefix {
    QByteArray dirBytes;
    std::filesystem::path dir;
    QString namePrefix;
    QString namePrefixUpper;
};

// folderPath is a plain prefix: its directory part and the start of the names.
Prefix splitPrefix(const QString& folderPath)
{
    Prefix p;
    const qsizetype slash = folderPath.lastIndexOf(u'/');
    const QString dir = slash >= 0 ? folderPath.left(slash + 1) : u"./"_s;
    p.dirBytes = QFile::encodeName(dir);
    p.dir = std::filesystem::path(p.dirBytes.toStdString());
    p.namePrefix = folderPath.mid(slash + 1);
    p.namePrefixUpper = upperKey(p.namePrefix);
    return p;
}

// Calls f(native, upperName) for every visible file (or link to one) of the directory, and
// removes the stale temporaries of this program's writes that it passes (hidden names, so
// only those few are looked at more closely).
template <typename F> void forEachFile(const Prefix& prefix, F f)
{
    std::error_code ec;
    std::filesystem::directory_iterator it(prefix.dir, ec);
    if (ec)
        return;
    for (const std::filesystem::directory_iterator end; it != end; it.increment(ec)) {
        if (ec)
            return;
        const std::string native = it->path().filename().native();
        if (native.empty() || native[0] == '.') {
            if (AtomicFile::IsTemporaryName(native))
                AtomicFile::RemoveIfStale(it->path().c_str());
            continue;
        }
        std::error_code typeEc;
        if (!it->is_regular_file(typeEc))
            continue;
        const QByteArray bytes = QByteArray::fromStdString(native);
        if (!f(bytes, upperKey(Files::DecodeName(bytes))))
            return;
    }
}

} // namespace

QList<QByteArray> ListItemFiles(const QString& folderPath)
{
    const Prefix prefix = splitPrefix(folderPath);
    const QString extension = u".URL"_s;
    struct Entry {
        QString key;
        QByteArray name;
    };
    std::vector<Entry> entries;
    forEachFile(prefix, [&](const QByteArray& name, const QString& upper) {
        if (upper.size() >= prefix.namePrefixUpper.size() + extension.size() &&
            upper.startsWith(prefix.namePrefixUpper) && upper.endsWith(extension))
            entries.push_back({upper, name});
        return true;
    });
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        // Names that differ only in case keep a fixed order.
        const int c = QStringView(a.key).compare(QStringView(b.key), Qt::CaseSensitive);
        return c != 0 ? c < 0 : a.name < b.name;
    });
    QList<QByteArray> names;
    names.reserve(qsizetype(entries.size()));
    for (Entry& e : entries)
        names.append(std::move(e.name));
    return names;
}

QString ItemTitle(QByteArrayView fileName)
{
    const QString name = Files::DecodeName(fileName);
    return name.left(name.size() - 4);
}

QByteArray ListedFilePath(const QString& folderPath, const QByteArray& fileName)
{
    return splitPrefix(folderPath).dirBytes + fileName;
}

QByteArray FindItemFile(const QString& folderPath, const QString& fileName)
{
    // A name with a separator would reach into another folder.
    if (fileName.isEmpty() || fileName.contains(u'/'))
        return {};
    const Prefix prefix = splitPrefix(folderPath);
    const QString wantedName = prefix.namePrefix + fileName;
    const QByteArray wantedBytes = QFile::encodeName(wantedName);
    const QString wanted = upperKey(wantedName);
    const bool wantedAscii = QtPrivate::isAscii(QLatin1StringView(wantedBytes));
    std::error_code ec;
    std::filesystem::directory_iterator it(prefix.dir, ec);
    if (ec)
        return {};
    QByteArray found;
    for (const std::filesystem::directory_iterator end; it != end; it.increment(ec)) {
        if (ec)
            break;
        const std::string native = it->path().filename().native();
        if (native.empty() || native[0] == '.')
            continue;
        // Most names are ASCII: compare their bytes before decoding anything.
        const QLatin1StringView nativeView(native.data(), qsizetype(native.size()));
        if (wantedAscii && QtPrivate::isAscii(nativeView) &&
            nativeView.compare(QLatin1StringView(wantedBytes), Qt::CaseInsensitive) != 0)
            continue;
        const QByteArray bytes = QByteArray::fromStdString(native);
        const QString name = Files::DecodeName(bytes);
        if (upperKey(name) != wanted || !name.startsWith(prefix.namePrefix))
            continue;
        std::error_code typeEc;
        if (!it->is_regular_file(typeEc))
            continue;
        if (bytes == wantedBytes)
            return bytes;
        if (found.isEmpty() || bytes < found)
            found = bytes;
    }
    return found;
}

ItemFileIndex::ItemFileIndex(const QString& folderPath)
    : namePrefix(splitPrefix(folderPath).namePrefix)
{
    for (const QByteArray& name : ListItemFiles(folderPath))
        Add(name);
}

QByteArray ItemFileIndex::Find(const QString& fileName) const
{
    if (fileName.isEmpty() || fileName.contains(u'/'))
        return {};
    const QString wanted = namePrefix + fileName;
    const QByteArray exact = QFile::encodeName(wanted);
    return names.contains(exact) ? exact : byKey.value(upperKey(wanted));
}

QByteArray ItemFileIndex::NewName(const QString& fileName) const
{
    return QFile::encodeName(namePrefix + fileName);
}

void ItemFileIndex::Add(const QByteArray& name)
{
    const QString decoded = Files::DecodeName(name);
    // FindItemFile's rules: the prefix spelt as given, and of names alike the least bytes.
    if (!decoded.startsWith(namePrefix))
        return;
    names.insert(name);
    QByteArray& kept = byKey[upperKey(decoded)];
    if (kept.isEmpty() || name < kept)
        kept = name;
}

QString FolderProblem(const QString& folderPath)
{
    const Prefix prefix = splitPrefix(folderPath);
    const QString shown = QFile::decodeName(QByteArray::fromStdString(prefix.dir.native()));
    struct stat st;
    if (::stat(prefix.dir.c_str(), &st) != 0) {
        if (errno == ENOENT)
            return u"フォルダ「%1」が見つかりません。"_s.arg(shown);
        return u"フォルダ「%1」を読み込めません: %2"_s.arg(shown, SystemErrorText(errno));
    }
    if (!S_ISDIR(st.st_mode))
        return u"「%1」はフォルダではありません。"_s.arg(shown);
    // Listing needs read permission, reading the files in it search permission.
    if (::access(prefix.dir.c_str(), R_OK | X_OK) != 0)
        return u"フォルダ「%1」を読み込めません: %2"_s.arg(shown, SystemErrorText(errno));
    return {};
}
