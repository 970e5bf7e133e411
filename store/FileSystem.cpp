#include "store/FileSystem.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <filesystem>
#include <system_error>

using namespace Qt::StringLiterals;

namespace
{

FileResult failure(const QString& message)
{
    return FileResult{false, message};
}

// Windows' read-only attribute: the file has no write permission at all (checked on the
// bits, so that root sees it too), or this user may not write it.
bool isReadOnly(const QFileInfo& info)
{
    const auto writeBits =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return !(info.permissions() & writeBits) || !info.isWritable();
}

} // namespace

namespace FileSystem
{

bool FileExists(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

FileResult DeleteFile(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return failure(u"ファイル「%1」が見つかりません。"_s.arg(path));
    if (info.isDir())
        return failure(u"「%1」はファイルではありません。"_s.arg(path));
    if (info.exists() && isReadOnly(info))
        return failure(u"ファイル「%1」は読み取り専用のため削除できません。"_s.arg(path));
    QFile file(path);
    if (!file.remove())
        return failure(u"ファイル「%1」を削除できません: %2"_s.arg(path, file.errorString()));
    return {};
}

QString GetFileName(const QString& path)
{
    return QFileInfo(path).fileName();
}

FileResult CopyFile(const QString& source, const QString& destination)
{
    const QFileInfo from(source);
    if (!from.exists())
        return failure(u"ファイル「%1」が見つかりません。"_s.arg(source));
    if (!from.isFile())
        return failure(u"「%1」はファイルではありません。"_s.arg(source));
    const QFileInfo to(destination);
    if (to.isDir())
        return failure(u"「%1」はフォルダのため、上書きできません。"_s.arg(destination));
    if (to.exists()) {
        std::error_code ec;
        if (std::filesystem::equivalent(QFile::encodeName(source).toStdString(),
                                        QFile::encodeName(destination).toStdString(), ec))
            return failure(u"ファイル「%1」をそれ自身にコピーすることはできません。"_s.arg(source));
        if (isReadOnly(to))
            return failure(
                u"ファイル「%1」は読み取り専用のため上書きできません。"_s.arg(destination));
    }

    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return failure(u"ファイル「%1」を読み込めません: %2"_s.arg(source, in.errorString()));
    QSaveFile out(destination);
    if (!out.open(QIODevice::WriteOnly))
        return failure(u"ファイル「%1」に書き込めません: %2"_s.arg(destination, out.errorString()));
    for (;;) {
        const QByteArray block = in.read(1 << 16);
        if (block.isEmpty()) {
            if (in.error() == QFileDevice::NoError)
                break;
            const QString error = in.errorString();
            out.cancelWriting();
            return failure(u"ファイル「%1」を読み込めません: %2"_s.arg(source, error));
        }
        if (out.write(block) != block.size()) {
            const QString error = out.errorString();
            out.cancelWriting();
            return failure(u"ファイル「%1」に書き込めません: %2"_s.arg(destination, error));
        }
    }
    if (!out.commit())
        return failure(u"ファイル「%1」に書き込めません: %2"_s.arg(destination, out.errorString()));
    return {};
}

} // namespace FileSystem
