#include "store/ItemFolder.h"

#include "app/AtomicFile.h"
#include "app/SystemError.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>
#include <sys/stat.h>
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
    p.dir = std::filesystem::path(QFile::encodeName(dir).toStdString());
    p.namePrefix = folderPath.mid(slash + 1);
    p.namePrefixUpper = upperKey(p.namePrefix);
    return p;
}

// Calls f(name, upperName) for every visible file (or link to one) of the directory, and
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
        const QString name = QFile::decodeName(QByteArray::fromStdString(native));
        if (!f(name, upperKey(name)))
            return;
    }
}

} // namespace

QStringList ListItemFiles(const QString& folderPath, int maxCount)
{
    const Prefix prefix = splitPrefix(folderPath);
    const QString extension = u".URL"_s;
    struct Entry {
        QString key;
        QString name;
    };
    std::vector<Entry> entries;
    forEachFile(prefix, [&](const QString& name, const QString& upper) {
        if (upper.size() >= prefix.namePrefixUpper.size() + extension.size() &&
            upper.startsWith(prefix.namePrefixUpper) && upper.endsWith(extension))
            entries.push_back({upper, name});
        return true;
    });
    const auto byKey = [](const Entry& a, const Entry& b) {
        // Names that differ only in case keep a fixed order.
        const int c = QStringView(a.key).compare(QStringView(b.key), Qt::CaseSensitive);
        return c != 0 ? c < 0 : a.name < b.name;
    };
    const size_t count = std::min(entries.size(), size_t(std::max(maxCount, 0)));
    std::partial_sort(entries.begin(), entries.begin() + count, entries.end(), byKey);
    QStringList names;
    names.reserve(qsizetype(count));
    for (size_t i = 0; i < count; ++i)
        names.append(entries[i].name);
    return names;
}

QString FindItemFile(const QString& folderPath, const QString& fileName)
{
    if (fileName.isEmpty())
        return {};
    const QString exactPath = folderPath + fileName;
    std::error_code ec;
    if (std::filesystem::is_regular_file(QFile::encodeName(exactPath).toStdString(), ec) &&
        !fileName.startsWith(u'.'))
        return fileName;

    const Prefix prefix = splitPrefix(folderPath);
    const QString wantedName = prefix.namePrefix + fileName;
    const QString wanted = upperKey(wantedName);
    const QByteArray wantedBytes = QFile::encodeName(wantedName);
    const bool wantedAscii = QtPrivate::isAscii(QLatin1StringView(wantedBytes));

    ec.clear();
    std::filesystem::directory_iterator it(prefix.dir, ec);
    if (ec)
        return {};
    QString found;
    for (const std::filesystem::directory_iterator end; it != end; it.increment(ec)) {
        if (ec)
            break;
        const std::string native = it->path().filename().native();
        if (native.empty() || native[0] == '.')
            continue;
        // Most names are ASCII: compare their bytes before decoding anything.
        const QLatin1StringView nativeView(native.data(), qsizetype(native.size()));
        const bool nativeAscii = QtPrivate::isAscii(nativeView);
        if (wantedAscii && nativeAscii) {
            if (nativeView.compare(QLatin1StringView(wantedBytes), Qt::CaseInsensitive) != 0)
                continue;
        }
        const QString name = QFile::decodeName(QByteArray::fromStdString(native));
        if (upperKey(name) != wanted || !name.startsWith(prefix.namePrefix))
            continue;
        std::error_code typeEc;
        if (!it->is_regular_file(typeEc))
            continue;
        const QString candidate = name.mid(prefix.namePrefix.size());
        if (found.isEmpty() || candidate < found)
            found = candidate;
    }
    return found;
}

QString ItemFilePath(const QString& folderPath, const QString& fileName)
{
    const QString onDisk = FindItemFile(folderPath, fileName);
    return folderPath + (onDisk.isEmpty() ? fileName : onDisk);
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
