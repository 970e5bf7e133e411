// Arbitrary bytes as the settings file: reads never fail, and a value written is read back.
#include "app/Profile.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // In memory where possible: every write is synced to disk.
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                 ? QStringLiteral("/dev/shm/sitevigil-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/sitevigil-fuzz-XXXXXX"));
    const QString path = dir.path() + QStringLiteral("/SiteVigil.ini");
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            abort();
        f.write(reinterpret_cast<const char*>(data), qsizetype(size));
    }
    const QString section = QStringLiteral("Option");
    const QString folder =
        Profile::GetPrivateProfileString(section, QStringLiteral("FolderPath"), {}, 256, path);
    if (folder.size() > 255)
        abort();
    Profile::GetPrivateProfileInt(section, QStringLiteral("ExitAfterSave"), 1, path);

    if (!Profile::WritePrivateProfileString(section, QStringLiteral("ExitAfterSave"),
                                            QStringLiteral("0"), path) ||
        !Profile::WritePrivateProfileString(section, QStringLiteral("FolderPath"),
                                            QStringLiteral("/tmp/アイテム/"), path))
        abort();
    if (Profile::GetPrivateProfileInt(section, QStringLiteral("ExitAfterSave"), 1, path) != 0 ||
        Profile::GetPrivateProfileString(section, QStringLiteral("FolderPath"), {}, 256, path) !=
            u"/tmp/アイテム/")
        abort();
    return 0;
}
