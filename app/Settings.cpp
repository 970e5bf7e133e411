#include "app/Settings.h"

#include "app/Module1.h"
#include "app/Profile.h"

using namespace Qt::StringLiterals;

QString SettingsFilePath()
{
    return AppFolder() + u"SiteVigil.ini"_s;
}

qint16 ReadExitAfterSave()
{
    const int value =
        Profile::GetPrivateProfileInt(u"Option"_s, u"ExitAfterSave"_s, 1, SettingsFilePath());
    return value == 1 ? 1 : 0;
}

QString ReadFolderPath(bool withDefault)
{
    // The value as a 256-character buffer holds it: at most 255 bytes, no NUL, no
    // surrounding spaces.
    QString path = Profile::GetPrivateProfileString(u"Option"_s, u"FolderPath"_s, QString(), 256,
                                                    SettingsFilePath());
    path.remove(QChar(u'\0'));
    qsizetype b = 0, e = path.size();
    while (b < e && path[b] == u' ')
        ++b;
    while (e > b && path[e - 1] == u' ')
        --e;
    path = path.mid(b, e - b);
    if (path.isEmpty() && withDefault)
        path = AppFolder() + u"URLs/"_s;
    return path;
}
