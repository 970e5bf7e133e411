#include "app/Profile.h"
#include "app/frmOption.h"
#include "support/TestProgramFolder.h"
#include "support/WindowTesting.h"
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>

using namespace Qt::StringLiterals;

namespace
{

} // namespace

class tst_frmOption final : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestProgramFolder> program;
    std::unique_ptr<MsgBoxCapture> capture;

    QString ini() const { return program->ini(); }

    static QLineEdit* txtFolderPath(frmOption& d)
    {
        return d.findChild<QLineEdit*>(u"txtFolderPath"_s);
    }
    static QCheckBox* chkExitAfterSave(frmOption& d)
    {
        return d.findChild<QCheckBox*>(u"chkExitAfterSave"_s);
    }
    static QPushButton* button(frmOption& d, const QString& name)
    {
        return d.findChild<QPushButton*>(name);
    }

private slots:
    void init()
    {
        program = std::make_unique<TestProgramFolder>();
        QVERIFY(program->isValid());
        capture = std::make_unique<MsgBoxCapture>();
    }
    void cleanup()
    {
        capture.reset();
        program.reset();
    }

    void controls()
    {
        frmOption d;
        QCOMPARE(d.windowTitle(), u"オプション設定"_s);
        auto* label = d.findChild<QLabel*>(u"lblFolderPath"_s);
        QVERIFY(label);
        QCOMPARE(label->text(), u"参照フォルダ"_s);
        QCOMPARE(label->buddy(), txtFolderPath(d));
        QCOMPARE(button(d, u"cmdBrowseFolder"_s)->text(), u"..."_s);
        QVERIFY(!button(d, u"cmdBrowseFolder"_s)->accessibleName().isEmpty());
        QCOMPARE(chkExitAfterSave(d)->text(), u"保存後自動終了"_s);
        QCOMPARE(button(d, u"cmdOK"_s)->text(), u"OK"_s);
        QVERIFY(button(d, u"cmdOK"_s)->isDefault());
        QCOMPARE(button(d, u"cmdCancel"_s)->text(), u"キャンセル"_s);
    }

    void load_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: no settings file
        QTest::addColumn<bool>("checked");
        QTest::addColumn<QString>("path");
        QTest::newRow("no file") << QByteArray() << true << QString();
        QTest::newRow("zero") << QByteArray("[Option]\r\nExitAfterSave=0\r\n") << false
                              << QString();
        QTest::newRow("one") << QByteArray(
                                    "[Option]\r\nExitAfterSave=1\r\nFolderPath=/data/items/\r\n")
                             << true << u"/data/items/"_s;
        QTest::newRow("two") << QByteArray("[Option]\r\nExitAfterSave=2\r\n") << false << QString();
        QTest::newRow("minus one")
            << QByteArray("[Option]\r\nExitAfterSave=-1\r\n") << false << QString();
        QTest::newRow("junk") << QByteArray("[Option]\r\nExitAfterSave=yes\r\n") << false
                              << QString();
        QTest::newRow("blank path keeps no default")
            << QByteArray("[Option]\r\nFolderPath=     \r\n") << true << QString();
        QTest::newRow("path without separator")
            << QByteArray("[Option]\r\nFolderPath=/data/items\r\n") << true << u"/data/items"_s;
        QTest::newRow("japanese path")
            << QByteArray("[Option]\r\nFolderPath=/\x83\x66\x81\x5b\x83\x5e/\r\n") << true
            << u"/データ/"_s;
    }
    void load()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, checked);
        QFETCH(QString, path);
        if (!content.isEmpty())
            WriteAll(ini(), content);
        frmOption d;
        QCOMPARE(chkExitAfterSave(d)->isChecked(), checked);
        QCOMPARE(txtFolderPath(d)->text(), path);
        QVERIFY(!QFile::exists(ini()) || ReadAll(ini()) == content); // opening writes nothing
    }

    void okWithoutChangesCreatesFile()
    {
        frmOption d;
        button(d, u"cmdOK"_s)->click();
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(ReadAll(ini()), QByteArray("[Option]\r\nExitAfterSave=1\r\nFolderPath=\r\n"));
        QVERIFY(capture->messages.isEmpty());
    }

    void okWritesAsTyped_data()
    {
        QTest::addColumn<bool>("checked");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("no separator") << false << u"/srv/items"_s << QByteArray("/srv/items");
        QTest::newRow("separator") << true << u"/srv/items/"_s << QByteArray("/srv/items/");
        QTest::newRow("japanese") << true << u"/ホーム/"_s
                                  << QByteArray("/\x83\x7a\x81\x5b\x83\x80/");
        QTest::newRow("emptied") << false << QString() << QByteArray();
    }
    void okWritesAsTyped()
    {
        QFETCH(bool, checked);
        QFETCH(QString, typed);
        QFETCH(QByteArray, stored);
        WriteAll(ini(), "[Other]\r\nk=v\r\n[Option]\r\nFolderPath=/old/\r\nExitAfterSave=1\r\n");
        frmOption d;
        chkExitAfterSave(d)->setChecked(checked);
        txtFolderPath(d)->setText(typed);
        button(d, u"cmdOK"_s)->click();
        QCOMPARE(ReadAll(ini()), "[Other]\r\nk=v\r\n[Option]\r\nFolderPath=" + stored +
                                     "\r\nExitAfterSave=" + (checked ? "1" : "0") + "\r\n");
    }

    // Read on open (out of range is 1), written on OK; a file that never named it stays so at 1.
    void connections_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("shown");
        QTest::addColumn<int>("chosen");
        QTest::addColumn<QByteArray>("stored");
        const QByteArray head = "[Option]\r\nExitAfterSave=1\r\nFolderPath=\r\n";
        QTest::newRow("not named, left at 1") << head << 1 << 1 << head;
        QTest::newRow("out of range, set to 16") << head + "Connections=17\r\n"
                                                 << 1 << 16 << head + "Connections=16\r\n";
        QTest::newRow("named, set back to 1") << head + "Connections=4\r\n"
                                              << 4 << 1 << head + "Connections=1\r\n";
    }
    void connections()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, shown);
        QFETCH(int, chosen);
        QFETCH(QByteArray, stored);
        WriteAll(ini(), content);
        frmOption d;
        auto* spin = d.findChild<QSpinBox*>(u"spnConnections"_s);
        QCOMPARE(d.findChild<QLabel*>(u"lblConnections"_s)->buddy(), spin);
        QCOMPARE(spin->value(), shown);
        spin->setValue(chosen);
        button(d, u"cmdOK"_s)->click();
        QCOMPARE(ReadAll(ini()), stored);
    }

    // Shown checked only for 1; written on OK only when on or already named, so a file that
    // never had it stays byte for byte as it was.
    void compareText_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<bool>("chosen");
        QTest::addColumn<QByteArray>("stored");
        const QByteArray head = "[Option]\r\nExitAfterSave=1\r\nFolderPath=\r\n";
        QTest::newRow("missing, left off") << head << false << false << head;
        QTest::newRow("missing, turned on") << head << false << true << head + "CompareText=1\r\n";
        QTest::newRow("other value is off, written as 0")
            << head + "CompareText=2\r\n"
            << false << false << head + "CompareText=0\r\n";
        QTest::newRow("not a number is off") << head + "CompareText=yes\r\n"
                                             << false << true << head + "CompareText=1\r\n";
        QTest::newRow("on, turned off") << head + "CompareText=1\r\n"
                                        << true << false << head + "CompareText=0\r\n";
    }
    void compareText()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, shown);
        QFETCH(bool, chosen);
        QFETCH(QByteArray, stored);
        WriteAll(ini(), content);
        frmOption d;
        auto* check = d.findChild<QCheckBox*>(u"chkCompareText"_s);
        QCOMPARE(check->text(), u"本文の文字で変更を判定する(&T)"_s);
        QCOMPARE(check->isChecked(), shown);
        check->setChecked(chosen);
        QCOMPARE(ReadAll(ini()), content); // nothing before OK
        button(d, u"cmdOK"_s)->click();
        QCOMPARE(ReadAll(ini()), stored);
    }

    // Reached by Tab right after the number of connections, and by its mnemonic.
    void compareTextByKeyboard()
    {
        frmOption d;
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        auto* check = d.findChild<QCheckBox*>(u"chkCompareText"_s);
        d.findChild<QSpinBox*>(u"spnConnections"_s)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), check);
        QTest::keyClick(&d, Qt::Key_T, Qt::AltModifier);
        QTRY_VERIFY(check->isChecked()); // a mnemonic clicks after a moment
    }

    void longPathWrittenWholeAndWarned_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("used"); // empty: no warning
        const QString ascii = u"/srv/"_s + QString(300, u'a') + u"/"_s;
        const QString japanese = u"/"_s + QString(150, u'あ') + u"/"_s; // 302 bytes
        QTest::newRow("255 bytes: no warning") << u"/"_s + QString(254, u'b') << QString();
        QTest::newRow("306 bytes") << ascii << ascii.left(255);
        QTest::newRow("302 CP932 bytes, cut at a character")
            << japanese << u"/"_s + QString(127, u'あ');
    }
    void longPathWrittenWholeAndWarned()
    {
        QFETCH(QString, typed);
        QFETCH(QString, used);
        frmOption d;
        txtFolderPath(d)->setText(typed);
        button(d, u"cmdOK"_s)->click();
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(Profile::GetPrivateProfileString(u"Option"_s, u"FolderPath"_s, {}, 4096, ini()),
                 typed);
        QCOMPARE(capture->messages.size(), used.isEmpty() ? 0 : 1);
        if (!used.isEmpty()) {
            const QString& m = capture->messages.first();
            QVERIFY2(m.contains(u"255バイト"_s), qPrintable(m));
            QCOMPARE(m.section(u"使われます:\n"_s, 1).remove(u'\n'), used); // in short lines
        }
    }

    void enterConfirms()
    {
        frmOption d;
        txtFolderPath(d)->setText(u"/typed/"_s);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        txtFolderPath(d)->setFocus();
        QTest::keyClick(txtFolderPath(d), Qt::Key_Return);
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(Profile::GetPrivateProfileString(u"Option"_s, u"FolderPath"_s, {}, 256, ini()),
                 u"/typed/"_s);
    }

    void cancelWritesNothing_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("how"); // as Dismiss takes it
        const QByteArray existing("[Option]\r\nExitAfterSave=0\r\nFolderPath=/a/\r\n");
        QTest::newRow("button, no file") << QByteArray() << u"button"_s;
        QTest::newRow("button") << existing << u"button"_s;
        QTest::newRow("escape") << existing << u"escape"_s;
        QTest::newRow("close box") << existing << u"close box"_s;
    }
    void cancelWritesNothing()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, how);
        if (!content.isEmpty())
            WriteAll(ini(), content);
        frmOption d;
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        chkExitAfterSave(d)->setChecked(!chkExitAfterSave(d)->isChecked());
        txtFolderPath(d)->setText(u"/changed/"_s);
        Dismiss(&d, how);
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QCOMPARE(QFile::exists(ini()), !content.isEmpty());
        if (!content.isEmpty())
            QCOMPARE(ReadAll(ini()), content);

        frmOption again; // loaded afresh: nothing of the cancelled visit remains
        QCOMPARE(txtFolderPath(again)->text(), content.isEmpty() ? QString() : u"/a/"_s);
    }

    void browse_data()
    {
        QTest::addColumn<QString>("chosen"); // empty: cancel
        QTest::addColumn<QString>("expected");
        QTest::newRow("cancel") << QString() << u"/before/"_s;
        QTest::newRow("folder") << u"sub"_s << u"sub/"_s; // relative to the program folder
        QTest::newRow("root") << u"/"_s << u"/"_s;
    }
    void browse()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, expected);
        QString target = chosen;
        if (!chosen.isEmpty() && !chosen.startsWith(u'/')) {
            QVERIFY(QDir(program->path()).mkpath(chosen));
            target = program->path() + chosen;
            expected = program->path() + expected;
        }
        frmOption d;
        txtFolderPath(d)->setText(u"/before/"_s);
        QString title;
        OnModal([&](QWidget* w) {
            auto* picker = qobject_cast<QFileDialog*>(w);
            if (!picker) {
                w->close();
                return;
            }
            title = picker->windowTitle();
            if (target.isEmpty()) {
                picker->reject();
            } else {
                picker->setDirectory(target);
                QMetaObject::invokeMethod(picker, "accept");
            }
        });
        button(d, u"cmdBrowseFolder"_s)->click();
        QCOMPARE(title, u"フォルダを選択してください"_s);
        QCOMPARE(txtFolderPath(d)->text(), expected);
        QVERIFY(!QFile::exists(ini()));
    }

    void unrepresentableFolderRefused()
    {
        frmOption d;
        txtFolderPath(d)->setText(u"/home/Café/"_s);
        button(d, u"cmdOK"_s)->click();
        QCOMPARE(d.result(), 0); // still open
        QCOMPARE(capture->messages.size(), 1);
        QVERIFY(capture->messages.first().contains(u"「é」(U+00E9)"_s));
        QVERIFY(!QFile::exists(ini()));
    }

    void settingsFileInOtherCase()
    {
        const QString upper = program->path() + u"SITEVIGIL.INI"_s;
        WriteAll(upper, "[Option]\r\nExitAfterSave=0\r\nFolderPath=/old/\r\n");
        frmOption d;
        QCOMPARE(txtFolderPath(d)->text(), u"/old/"_s);
        txtFolderPath(d)->setText(u"/new/"_s);
        button(d, u"cmdOK"_s)->click();
        QCOMPARE(ReadAll(upper), "[Option]\r\nExitAfterSave=0\r\nFolderPath=/new/\r\n"_ba);
        QVERIFY(!QFile::exists(ini()));
    }

    void failedWriteIsReported()
    {
        QVERIFY(QDir(program->path()).mkdir(u"SiteVigil.ini"_s)); // cannot be written as a file
        frmOption d;
        button(d, u"cmdOK"_s)->click();
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(capture->messages.size(), 1);
        QVERIFY(capture->messages.first().contains(u"SiteVigil.ini"_s));
    }
};

QTEST_MAIN(tst_frmOption)
#include "tst_frmOption.moc"
