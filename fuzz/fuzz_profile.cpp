// Arbitrary bytes as the settings file: reads never fail, and a value written is read back.
// The round trip runs in memory; small inputs also take the road through a file, which must
// give the same bytes.
#include "SkipSync.h"
#include "app/Profile.h"
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>

// Inputs up to this size also go through the file functions.
constexpr size_t MaxFileRoadBytes = 256;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString section = QStringLiteral("Option");
    const QString folderKey = QStringLiteral("FolderPath");
    const QString exitKey = QStringLiteral("ExitAfterSave");
    const QString folder = Profile::ProfileStringIn(input, section, folderKey, {}, 256);
    if (folder.size() > 255)
        abort();
    const int exitAfterSave = Profile::ProfileIntIn(input, section, exitKey, 1);

    const QString written = QStringLiteral("/tmp/アイテム/");
    const Profile::KeyValues values{{exitKey, QStringLiteral("0")}, {folderKey, written}};
    const QByteArray out = Profile::WithProfileStrings(input, section, values);
    if (Profile::ProfileIntIn(out, section, exitKey, 1) != 0 ||
        Profile::ProfileStringIn(out, section, folderKey, {}, 256) != written)
        abort();

    if (size <= MaxFileRoadBytes) {
        static QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/SiteVigil.ini");
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(input) != input.size())
            abort();
        f.close();
        if (Profile::GetPrivateProfileString(section, folderKey, {}, 256, path) != folder ||
            Profile::GetPrivateProfileInt(section, exitKey, 1, path) != exitAfterSave)
            abort();
        // One key after the other gives what both at once give.
        if (!Profile::WritePrivateProfileString(section, exitKey, QStringLiteral("0"), path) ||
            !Profile::WritePrivateProfileString(section, folderKey, written, path))
            abort();
        if (!f.open(QIODevice::ReadOnly) || f.readAll() != out)
            abort();
    }
    return 0;
}
