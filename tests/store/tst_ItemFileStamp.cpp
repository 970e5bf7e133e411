// What a run read of an item file against what is there now, where bytes or identity alone
// would misjudge it (the window tests cover edits, removals and renames).
#include "store/ItemFile.h"
#include "store/ItemFileStamp.h"
#include "support/TestProgramFolder.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

using namespace Qt::StringLiterals;

class tst_ItemFileStamp final : public QObject
{
    Q_OBJECT

private slots:
    void compare_data();
    void compare();
};

void tst_ItemFileStamp::compare_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("unchanged");
    QTest::newRow("same bytes written in place (a newer time)") << u"rewrite"_s << true;
    QTest::newRow("same bytes, another file (an editor's save)") << u"replace"_s << false;
    QTest::newRow("created where none was read") << u"create"_s << false;
}

void tst_ItemFileStamp::compare()
{
    QFETCH(QString, change);
    QFETCH(bool, unchanged);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"a.url"_s);
    const QByteArray bytes = "[InternetShortcut]\r\nURL=http://a/\r\n";
    if (change != u"create")
        WriteAll(path, bytes);
    ItemFileStamps stamps;
    stamps.Begin(dir.path() + u'/');
    ReadItemFile(dir.path() + u'/', "a.url", &stamps);
    if (change == u"replace") {
        WriteAll(path + u".new"_s, bytes);
        const QByteArray from = QFile::encodeName(path + u".new"_s);
        QCOMPARE(std::rename(from.constData(), QFile::encodeName(path).constData()), 0);
    } else {
        WriteAll(path, bytes);
    }
    QCOMPARE(stamps.Compare(QFile::encodeName(path)) == ItemFileStamps::Since::Unchanged,
             unchanged);
}

QTEST_GUILESS_MAIN(tst_ItemFileStamp)
#include "tst_ItemFileStamp.moc"
