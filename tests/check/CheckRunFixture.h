#pragma once
// A temporary program folder with a settings file and item files, for driving the real
// main window through check runs.
#include "app/CodePage.h"
#include "app/Module1.h"
#include "app/frmMain.h"
#include "store/ItemRecord.h"
#include "support/frmMainProbe.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

inline const QString FinishedCaption = u"更新されているページがあります。"_s;

class ProgramFolder final
{
public:
    explicit ProgramFolder(int exitAfterSave = 0)
    {
        SetAppFolderForTesting(path());
        QDir(dir_.path()).mkdir(u"URLs"_s);
        writeFile(path() + u"SiteVigil.ini"_s,
                  u"[Option]\r\nExitAfterSave="_s + QString::number(exitAfterSave) + u"\r\n"_s);
    }
    ~ProgramFolder() { SetAppFolderForTesting(QString()); }
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;

    QString path() const { return dir_.path() + u'/'; }
    QString itemFolder() const { return path() + u"URLs/"_s; }
    QString itemPath(const QString& title) const { return itemFolder() + title + u".url"_s; }

    // The layout a new item file has: seven CRLF lines.
    void writeItem(const ItemRecord& item) const
    {
        writeFile(itemPath(item.Title),
                  u"[InternetShortcut]\r\nURL="_s + item.URL + u"\r\n\r\n[SiteVigil]\r\nErr="_s +
                      QString::number(item.Err) + u"\r\nInfo="_s + item.Info +
                      u"\r\nCheck2Byte="_s + QString::number(item.Check2Byte) + u"\r\n"_s);
    }

    // The file's lines as stored (split at CR LF; a lone CR or LF stays inside its line).
    QStringList itemLines(const QString& title) const
    {
        QFile file(itemPath(title));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = CodePage::FromAnsi(file.readAll()).split(u"\r\n"_s);
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }

    // The Info line's value, or a null string when the file does not have the item layout.
    QString storedInfo(const QString& title) const
    {
        const QStringList lines = itemLines(title);
        if (lines.size() != 7 || lines.at(3) != u"[SiteVigil]"_s ||
            !lines.at(5).startsWith(u"Info="_s))
            return QString();
        return lines.at(5).mid(5);
    }

    bool removeItemFolder() const { return QDir(itemFolder()).removeRecursively(); }

private:
    static void writeFile(const QString& path, const QString& text)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QVERIFY(file.write(CodePage::ToAnsi(text)) >= 0);
    }

    QTemporaryDir dir_;
};

// Waits until the run has ended: the window unloaded or the results are shown.
inline bool waitForRunEnd(frmMain& window, QSignalSpy& unloaded, int timeoutMs = 15000)
{
    return QTest::qWaitFor(
        [&] { return unloaded.count() > 0 || window.windowTitle() == FinishedCaption; }, timeoutMs);
}

inline ItemRecord makeItem(const QString& title, const QString& url, qint16 err = 0,
                           const QString& info = QString(), qint16 check2Byte = 0)
{
    return ItemRecord{title, url, err, info, check2Byte};
}
