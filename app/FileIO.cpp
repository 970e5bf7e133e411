#include "app/FileIO.h"

#include "app/AtomicFile.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace
{

QString writeError(const QString& path, const QString& reason)
{
    return u"ファイル「%1」に書き込めません: %2"_s.arg(path, reason);
}

// A line ends at CR LF, CR, and with lfEnds at a lone LF too.
QList<QByteArray> splitLines(const QByteArray& bytes, bool lfEnds)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (bytes[i] != '\r' && (bytes[i] != '\n' || !lfEnds))
            continue;
        lines.append(bytes.mid(start, i - start));
        if (bytes[i] == '\r' && i + 1 < n && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(bytes.mid(start));
    return lines;
}

} // namespace

namespace FileIO
{

bool ReadAll(const QString& path, QByteArray* bytes, QString* error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = f.errorString();
        return false;
    }
    *bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        *error = f.errorString();
        return false;
    }
    return true;
}

QList<QByteArray> SplitLines(const QByteArray& bytes)
{
    return splitLines(bytes, true);
}

QList<QByteArray> SplitLinesAtCR(const QByteArray& bytes)
{
    return splitLines(bytes, !bytes.contains('\r'));
}

QString OneLine(QString value)
{
    value.replace(u"\r\n"_s, u" "_s);
    value.replace(u'\r', u' ');
    value.replace(u'\n', u' ');
    return value;
}

bool IsReadOnly(const QFileInfo& info)
{
    const auto writeBits =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return !(info.permissions() & writeBits) || !info.isWritable();
}

QString WriteAtomically(const QString& path, const QByteArray& bytes)
{
    QBuffer source;
    source.setData(bytes);
    source.open(QIODevice::ReadOnly);
    return CopyAtomically(source, path, path);
}

QString CopyAtomically(QIODevice& source, const QString& sourcePath, const QString& path)
{
    AtomicFile out(path);
    if (!out.open())
        return writeError(path, out.errorString());
    QByteArray block(1 << 16, Qt::Uninitialized);
    for (;;) {
        const qint64 got = source.read(block.data(), block.size());
        if (got == 0)
            break;
        if (got < 0) {
            const QString error = source.errorString();
            out.cancelWriting();
            return u"ファイル「%1」を読み込めません: %2"_s.arg(sourcePath, error);
        }
        if (out.write(QByteArrayView(block.constData(), got)) != got) {
            const QString error = out.errorString();
            out.cancelWriting();
            return writeError(path, error);
        }
    }
    if (!out.commit())
        return writeError(path, out.errorString());
    return {};
}

} // namespace FileIO
