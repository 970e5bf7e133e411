#include "store/FileSystem.h"

#include "app/FileIO.h"

#include <QFile>
#include <QFileInfo>
#include <filesystem>
#include <system_error>

using namespace Qt::StringLiterals;

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
        return FileResult::Failure(u"ファイル「%1」が見つかりません。"_s.arg(path));
    if (info.isDir())
        return FileResult::Failure(u"「%1」はファイルではありません。"_s.arg(path));
    if (info.exists() && FileIO::IsReadOnly(info))
        return FileResult::Failure(
            u"ファイル「%1」は読み取り専用のため削除できません。"_s.arg(path));
    QFile file(path);
    if (!file.remove())
        return FileResult::Failure(
            u"ファイル「%1」を削除できません: %2"_s.arg(path, file.errorString()));
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
        return FileResult::Failure(u"ファイル「%1」が見つかりません。"_s.arg(source));
    if (!from.isFile())
        return FileResult::Failure(u"「%1」はファイルではありません。"_s.arg(source));
    const QFileInfo to(destination);
    if (to.isDir())
        return FileResult::Failure(
            u"「%1」はフォルダのため、上書きできません。"_s.arg(destination));
    if (to.exists()) {
        std::error_code ec;
        if (std::filesystem::equivalent(QFile::encodeName(source).toStdString(),
                                        QFile::encodeName(destination).toStdString(), ec))
            return FileResult::Failure(
                u"ファイル「%1」をそれ自身にコピーすることはできません。"_s.arg(source));
        if (FileIO::IsReadOnly(to))
            return FileResult::Failure(
                u"ファイル「%1」は読み取り専用のため上書きできません。"_s.arg(destination));
    }

    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return FileResult::Failure(
            u"ファイル「%1」を読み込めません: %2"_s.arg(source, in.errorString()));
    if (const QString error = FileIO::CopyAtomically(in, source, destination); !error.isEmpty())
        return FileResult::Failure(error);
    return {};
}

} // namespace FileSystem
