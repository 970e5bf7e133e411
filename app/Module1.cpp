#include "app/Module1.h"

#include "app/CodePage.h"

#include <QCoreApplication>

namespace
{

QString& testFolder()
{
    static QString folder;
    return folder;
}

QString withSeparator(QString folder)
{
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

} // namespace

QString AppFolder()
{
    if (!testFolder().isEmpty())
        return testFolder();
    return withSeparator(QCoreApplication::applicationDirPath());
}

void SetAppFolderForTesting(const QString& folder)
{
    testFolder() = folder.isEmpty() ? QString() : withSeparator(folder);
}

qint32 CountDoubleByte(const QString& text)
{
    const qint64 characters = text.size();
    const qint64 bytes = CodePage::ToAnsi(text).size();
    return static_cast<qint32>(bytes > characters ? bytes - characters : characters);
}

bool IsSectionHeader(const QString& line)
{
    return !line.isEmpty() && line.front() == u'[' && line.back() == u']';
}

QString ProgressCaption(const QString& state, const QString& title)
{
    return state + QStringLiteral(u"中...") + title;
}
