#include "app/Settings.h"

#include "app/Files.h"
#include "app/Module1.h"
#include "app/Profile.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

QString SettingsFilePath()
{
    // A file copied from Windows may be spelt in another case ("SITEVIGIL.INI"); the one
    // that is there is read and written.
    const QString folder = AppFolder();
    const QString name = u"SiteVigil.ini"_s;
    if (QFileInfo(folder + name).isFile())
        return folder + name;
    const QStringList found = QDir(folder).entryList({name}, QDir::Files, QDir::Name);
    return folder + (found.isEmpty() ? name : found.first());
}

qint16 ReadExitAfterSave()
{
    const int value =
        Profile::GetPrivateProfileInt(u"Option"_s, u"ExitAfterSave"_s, 1, SettingsFilePath());
    return value == 1 ? 1 : 0;
}

qint16 ReadConnections()
{
    const int value =
        Profile::GetPrivateProfileInt(u"Option"_s, u"Connections"_s, 1, SettingsFilePath());
    return value >= 1 && value <= MaxConnections ? qint16(value) : qint16(1);
}

qint16 ReadCompareText()
{
    const int value =
        Profile::GetPrivateProfileInt(u"Option"_s, u"CompareText"_s, 0, SettingsFilePath());
    return value == 1 ? 1 : 0;
}

QString ReadFolderPath(bool withDefault)
{
    // The value as a 256-character buffer holds it: at most 255 bytes, no NUL, no
    // surrounding spaces.
    QString path = Profile::GetPrivateProfileString(u"Option"_s, u"FolderPath"_s, QString(), 256,
                                                    SettingsFilePath());
    path.remove(QChar(u'\0'));
    path = Files::TrimBlanks(path, u" ");
    if (path.isEmpty() && withDefault)
        path = AppFolder() + u"URLs/"_s;
    return path;
}
