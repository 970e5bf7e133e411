#include "app/CodePage.h"
#include "app/Module1.h"
#include "app/Profile.h"
#include "app/Settings.h"
#include "support/TestProgramFolder.h"

#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_Settings final : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void getString_data();
    void getString();
    void getInt_data();
    void getInt();
    void write_data();
    void write();
    void writeSeveralKeysAsInTurn_data();
    void writeSeveralKeysAsInTurn();
    void writeRefusedLeavesFileAsItWas();
    void writeIntoMissingFolderFails();

    void defaultsWithoutFile();
    void exitAfterSave_data();
    void exitAfterSave();
    void folderPath_data();
    void folderPath();

private:
    void writeIni(const QByteArray& bytes) const { WriteAll(iniPath(), bytes); }
    QByteArray readIni() const { return ReadAll(iniPath()); }
    QString iniPath() const { return program->ini(); }
    std::unique_ptr<TestProgramFolder> program;
};

void tst_Settings::init()
{
    program = std::make_unique<TestProgramFolder>();
    QVERIFY(program->isValid());
}

void tst_Settings::cleanup()
{
    program.reset();
}

void tst_Settings::getString_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("expected");
    const QByteArray basic = "[Option]\r\nFolderPath=/data/\r\n"_ba;
    QTest::newRow("plain") << basic << u"Option"_s << u"FolderPath"_s << 256 << u"/data/"_s;
    QTest::newRow("section and key case")
        << basic << u"OPTION"_s << u"folderpath"_s << 256 << u"/data/"_s;
    QTest::newRow("missing key") << basic << u"Option"_s << u"Other"_s << 256 << u"dflt"_s;
    QTest::newRow("missing section") << basic << u"Misc"_s << u"FolderPath"_s << 256 << u"dflt"_s;
    QTest::newRow("blanks trimmed") << "  [ Option ]  \r\n \tFolderPath \t=  /a b/ \t\r\n"_ba
                                    << u"Option"_s << u"FolderPath"_s << 256 << u"/a b/"_s;
    QTest::newRow("double quotes removed")
        << "[Option]\r\nk=\" x \"\r\n"_ba << u"Option"_s << u"k"_s << 256 << u" x "_s;
    QTest::newRow("single quotes removed")
        << "[Option]\r\nk='x'\r\n"_ba << u"Option"_s << u"k"_s << 256 << u"x"_s;
    QTest::newRow("unmatched quotes kept")
        << "[Option]\r\nk=\"x'\r\n"_ba << u"Option"_s << u"k"_s << 256 << u"\"x'"_s;
    QTest::newRow("lone quote kept")
        << "[Option]\r\nk=\"\r\n"_ba << u"Option"_s << u"k"_s << 256 << u"\""_s;
    QTest::newRow("key of another section")
        << "[A]\r\nk=1\r\n[B]\r\nj=2\r\n"_ba << u"B"_s << u"k"_s << 256 << u"dflt"_s;
    QTest::newRow("key before any section")
        << "k=1\r\n[B]\r\n"_ba << u"B"_s << u"k"_s << 256 << u"dflt"_s;
    QTest::newRow("first of two wins")
        << "[A]\r\nk=1\r\nk=2\r\n"_ba << u"A"_s << u"k"_s << 256 << u"1"_s;
    QTest::newRow("LF line ends") << "[A]\nk=1\n[B]\nk=2"_ba << u"B"_s << u"k"_s << 256 << u"2"_s;
    QTest::newRow("CR line ends") << "[A]\rk=1\r"_ba << u"A"_s << u"k"_s << 256 << u"1"_s;
    QTest::newRow("empty value") << "[A]\r\nk=\r\n"_ba << u"A"_s << u"k"_s << 256 << QString();
    QTest::newRow("equals sign in value")
        << "[A]\r\nk=a=b\r\n"_ba << u"A"_s << u"k"_s << 256 << u"a=b"_s;
    QTest::newRow("CP932 value") << "[A]\r\nk=\x83\x66\x81\x5b\x83\x5e\r\n"_ba << u"A"_s << u"k"_s
                                 << 256 << u"データ"_s;
    QTest::newRow("CP932 trail byte ] in header")
        << "[\x83\x5d]\r\nk=1\r\n"_ba << u"ゾ"_s << u"k"_s << 256 << u"1"_s;
    QTest::newRow("cut to size - 1 bytes")
        << "[A]\r\nk=abcdef\r\n"_ba << u"A"_s << u"k"_s << 4 << u"abc"_s;
    QTest::newRow("cut before a double-byte character")
        << "[A]\r\nk=\x82\xa0\x82\xa2\x82\xa4\r\n"_ba << u"A"_s << u"k"_s << 4 << u"あ"_s;
    QTest::newRow("size 1 gives nothing")
        << basic << u"Option"_s << u"FolderPath"_s << 1 << QString();
    QTest::newRow("default is cut too") << QByteArray() << u"A"_s << u"k"_s << 3 << u"df"_s;
}

void tst_Settings::getString()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(int, size);
    QFETCH(QString, expected);
    if (!ini.isNull())
        writeIni(ini);
    QCOMPARE(Profile::GetPrivateProfileString(section, key, u"dflt"_s, size, iniPath()), expected);
}

void tst_Settings::getInt_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("1") << "1"_ba << 1;
    QTest::newRow("blanks") << "  42  "_ba << 42;
    QTest::newRow("negative") << "-7"_ba << -7;
    QTest::newRow("plus") << "+3"_ba << 3;
    QTest::newRow("leading integer") << "12abc"_ba << 12;
    QTest::newRow("decimal stops") << "1.9"_ba << 1;
    QTest::newRow("not a number") << "abc"_ba << 0;
    QTest::newRow("empty gives default") << ""_ba << 99;
    QTest::newRow("quoted") << "\"5\""_ba << 5;
    QTest::newRow("huge saturates") << "4294967297"_ba << 2147483647;
    QTest::newRow("huge negative saturates") << "-99999999999"_ba << int(-2147483648LL);
}

void tst_Settings::getInt()
{
    QFETCH(QByteArray, value);
    QFETCH(int, expected);
    writeIni("[Option]\r\nN=" + value + "\r\n");
    QCOMPARE(Profile::GetPrivateProfileInt(u"Option"_s, u"N"_s, 99, iniPath()), expected);
    QCOMPARE(Profile::GetPrivateProfileInt(u"Option"_s, u"Missing"_s, 99, iniPath()), 99);
}

void tst_Settings::write_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("creates the file") << QByteArray() << u"Option"_s << u"ExitAfterSave"_s << u"0"_s
                                      << "[Option]\r\nExitAfterSave=0\r\n"_ba;
    QTest::newRow("in place, other lines kept byte for byte")
        << "; note\r\n[Option]\r\nExitAfterSave=1\r\nFolderPath=/x/\r\n[Other]\r\nk=\xff\x85\x40\r\n"_ba
        << u"Option"_s << u"ExitAfterSave"_s << u"0"_s
        << "; note\r\n[Option]\r\nExitAfterSave=0\r\nFolderPath=/x/\r\n[Other]\r\nk=\xff\x85\x40\r\n"_ba;
    QTest::newRow("in place, case-insensitive, key spelling of the file kept")
        << "[OPTION]\r\n  exitaftersave = 1 \r\n"_ba << u"Option"_s << u"ExitAfterSave"_s << u"0"_s
        << "[OPTION]\r\nexitaftersave=0\r\n"_ba;
    QTest::newRow("key added at the end of its section")
        << "[Option]\r\nExitAfterSave=1\r\n\r\n[Other]\r\nk=v\r\n"_ba << u"Option"_s
        << u"FolderPath"_s << u"/d/"_s
        << "[Option]\r\nExitAfterSave=1\r\nFolderPath=/d/\r\n\r\n[Other]\r\nk=v\r\n"_ba;
    QTest::newRow("key added to an empty last section")
        << "[Other]\r\nk=v\r\n[Option]"_ba << u"Option"_s << u"FolderPath"_s << u"/d/"_s
        << "[Other]\r\nk=v\r\n[Option]\r\nFolderPath=/d/\r\n"_ba;
    QTest::newRow("section added at the end, LF file becomes CRLF")
        << "[Other]\nk=v"_ba << u"Option"_s << u"FolderPath"_s << u"/d/"_s
        << "[Other]\r\nk=v\r\n[Option]\r\nFolderPath=/d/\r\n"_ba;
    QTest::newRow("CP932 value") << QByteArray() << u"Option"_s << u"FolderPath"_s << u"/データ/"_s
                                 << "[Option]\r\nFolderPath=/\x83\x66\x81\x5b\x83\x5e/\r\n"_ba;
    QTest::newRow("line break in value becomes a blank")
        << QByteArray() << u"Option"_s << u"FolderPath"_s << u"/a\r\n[x]"_s
        << "[Option]\r\nFolderPath=/a [x]\r\n"_ba;
    QTest::newRow("UTF-8 byte-order mark: read past, kept, UTF-8 value")
        << "\xEF\xBB\xBF[Option]\r\nFolderPath=/x/\r\n"_ba << u"Option"_s << u"FolderPath"_s
        << u"/データ/"_s
        << "\xEF\xBB\xBF[Option]\r\nFolderPath=/\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF/\r\n"_ba;
}

void tst_Settings::write()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    if (!before.isNull())
        writeIni(before);
    QVERIFY(Profile::WritePrivateProfileString(section, key, value, iniPath()));
    QCOMPARE(readIni(), after);
    if (!value.contains(u'\n'))
        QCOMPARE(Profile::GetPrivateProfileString(section, key, QString(), 256, iniPath()), value);
    // Writing the same again changes nothing.
    QVERIFY(Profile::WritePrivateProfileString(section, key, value, iniPath()));
    QCOMPARE(readIni(), after);
}

void tst_Settings::writeSeveralKeysAsInTurn_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::newRow("one in place, one added") << "[Option]\r\nFolderPath=/x/\r\n\r\n[B]\r\n"_ba;
    QTest::newRow("section added") << "[Other]\nk=v"_ba;
}

// One replacement gives the bytes that writing the keys one after the other gives.
void tst_Settings::writeSeveralKeysAsInTurn()
{
    QFETCH(QByteArray, before);
    const Profile::KeyValues keys{{u"ExitAfterSave"_s, u"0"_s}, {u"FolderPath"_s, u"/d/"_s}};
    const QString inTurn = program->path() + u"inTurn.ini"_s;
    writeIni(before);
    WriteAll(inTurn, before);
    for (const auto& [key, value] : keys)
        QVERIFY(Profile::WritePrivateProfileString(u"Option"_s, key, value, inTurn));
    QVERIFY(Profile::WritePrivateProfileStrings(u"Option"_s, keys, iniPath()));
    QCOMPARE(readIni(), ReadAll(inTurn));
}

// A full disk is in tst_CrashSafety.
void tst_Settings::writeRefusedLeavesFileAsItWas()
{
    const QByteArray before = "[Option]\r\nExitAfterSave=1\r\n"_ba;
    writeIni(before);
    QVERIFY(
        QFile::setPermissions(iniPath(), QFile::ReadOwner | QFile::ReadUser | QFile::ReadGroup));
    QString error;
    QVERIFY(!Profile::WritePrivateProfileString(u"Option"_s, u"ExitAfterSave"_s, u"0"_s, iniPath(),
                                                &error));
    QVERIFY2(error.contains(u"読み取り専用"_s) && error.contains(iniPath()), qPrintable(error));
    QCOMPARE(readIni(), before);
}

void tst_Settings::writeIntoMissingFolderFails()
{
    const QString path = program->path() + u"missing/SiteVigil.ini"_s;
    QVERIFY(!Profile::WritePrivateProfileString(u"Option"_s, u"k"_s, u"v"_s, path));
    QVERIFY(!QFile::exists(path));
    QVERIFY(!Profile::WritePrivateProfileString(u"Option"_s, u"k"_s, u"v"_s, program->path()));
}

void tst_Settings::defaultsWithoutFile()
{
    QCOMPARE(SettingsFilePath(), program->ini());
    QCOMPARE(ReadExitAfterSave(), qint16(1));
    QCOMPARE(ReadFolderPath(true), program->itemFolder());
    QCOMPARE(ReadFolderPath(false), QString());
    QVERIFY(!QFile::exists(iniPath())); // reading never creates the file
}

void tst_Settings::exitAfterSave_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<int>("expected");
    QTest::newRow("0") << "[Option]\r\nExitAfterSave=0\r\n"_ba << 0;
    QTest::newRow("1") << "[Option]\r\nExitAfterSave=1\r\n"_ba << 1;
    QTest::newRow("2") << "[Option]\r\nExitAfterSave=2\r\n"_ba << 0;
    QTest::newRow("-1") << "[Option]\r\nExitAfterSave=-1\r\n"_ba << 0;
    QTest::newRow("not a number") << "[Option]\r\nExitAfterSave=yes\r\n"_ba << 0;
    QTest::newRow("65537 does not wrap to 1") << "[Option]\r\nExitAfterSave=65537\r\n"_ba << 0;
    QTest::newRow("4294967297 does not wrap to 1")
        << "[Option]\r\nExitAfterSave=4294967297\r\n"_ba << 0;
    QTest::newRow("leading integer 1") << "[Option]\r\nExitAfterSave=1x\r\n"_ba << 1;
    QTest::newRow("missing key") << "[Option]\r\nFolderPath=/x/\r\n"_ba << 1;
    QTest::newRow("other section") << "[Misc]\r\nExitAfterSave=0\r\n"_ba << 1;
    QTest::newRow("key case") << "[option]\r\nEXITAFTERSAVE=0\r\n"_ba << 0;
}

void tst_Settings::exitAfterSave()
{
    QFETCH(QByteArray, ini);
    QFETCH(int, expected);
    writeIni(ini);
    QCOMPARE(int(ReadExitAfterSave()), expected);
}

void tst_Settings::folderPath_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("expected"); // "<default>" for AppFolder() + "URLs/"
    QTest::newRow("plain") << "/srv/items/"_ba << u"/srv/items/"_s;
    QTest::newRow("empty") << ""_ba << u"<default>"_s;
    QTest::newRow("spaces only") << "     "_ba << u"<default>"_s;
    QTest::newRow("quoted spaces only") << "\"   \""_ba << u"<default>"_s;
    QTest::newRow("spaces inside quotes trimmed") << "\"  /a/  \""_ba << u"/a/"_s;
    QTest::newRow("no trailing separator kept as is") << "/srv/items"_ba << u"/srv/items"_s;
    QTest::newRow("CP932") << "/\x83\x66\x81\x5b\x83\x5e/"_ba << u"/データ/"_s;
    QTest::newRow("300 bytes cut to 255") << QByteArray(300, 'p') << QString(255, u'p');
    QTest::newRow("double-byte text cut at a character")
        << QByteArray("/") + QByteArray(300, 'x').replace("xx", "\x82\xa0")
        << u"/"_s + QString(127, u'あ');
}

void tst_Settings::folderPath()
{
    QFETCH(QByteArray, value);
    QFETCH(QString, expected);
    writeIni("[Option]\r\nFolderPath=" + value + "\r\n");
    if (expected == u"<default>"_s) {
        QCOMPARE(ReadFolderPath(true), AppFolder() + u"URLs/"_s);
        QCOMPARE(ReadFolderPath(false), QString());
    } else {
        QCOMPARE(ReadFolderPath(true), expected);
        QCOMPARE(ReadFolderPath(false), expected);
    }
}

QTEST_GUILESS_MAIN(tst_Settings)
#include "tst_Settings.moc"
