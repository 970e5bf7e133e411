#include "store/FilterRules.h"
#include "store/ItemFile.h"
#include "support/TestProgramFolder.h"
#include "support/WindowTesting.h"
#include "support/frmMainProbe.h"
#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabBar>
#include <QtTest>

using namespace Qt::StringLiterals;

class tst_frmMain_FilterRules final : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestProgramFolder> program;
    std::unique_ptr<MsgBoxCapture> capture;
    std::unique_ptr<frmMain> window;

    frmMainProbe probe() const { return frmMainProbe(*window); }
    QListWidget* list() const { return probe().lstSetting(); }
    QAction* rulesAction() const { return list()->findChild<QAction*>(u"FilterRules"_s); }

    void OpenWith(const QString& title)
    {
        window = std::make_unique<frmMain>(); // an empty folder: no run starts
        program->writeItem(MakeItem(title, u"http://a/"_s, 0, u"12"_s));
        probe().tabMain()->setCurrentIndex(1);
        list()->setCurrentRow(0);
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
        window.reset();
        capture.reset();
        program.reset();
    }

    void compareTextLoaded_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("expected");
        QTest::newRow("missing") << QByteArray() << 0;
        QTest::newRow("on") << "[Option]\r\nCompareText=1\r\n"_ba << 1;
        QTest::newRow("other value") << "[Option]\r\nCompareText=2\r\n"_ba << 0;
    }
    void compareTextLoaded()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, expected);
        if (!content.isEmpty())
            WriteAll(program->ini(), content);
        window = std::make_unique<frmMain>();
        QCOMPARE(int(probe().CompareText()), expected);
    }

    void entryNeedsSelection()
    {
        OpenWith(u"a"_s);
        QAction* rules = rulesAction();
        QVERIFY(rules && list()->actions().contains(rules));
        QCOMPARE(rules->text(), u"判定ルール(&R)..."_s);
        QVERIFY(rules->isEnabled());
        list()->clearSelection();
        QVERIFY(!rules->isEnabled());
        probe().RefreshSettingList();
        QVERIFY(!rules->isEnabled());
    }

    // Shown from the file and written back to it; a selector that does not parse and a pattern
    // that does not compile are refused.
    void editsTheSelectedItemsRules()
    {
        OpenWith(u"a"_s);
        const QString path = program->itemPath(u"a"_s);
        QVERIFY(WriteFilterRules(program->itemFolder(), "a.url", {u"#old"_s, {}}).ok);
        QString shown;
        OnModal([&](QWidget* w) {
            auto* select = w->findChild<QLineEdit*>(u"txtSelect"_s);
            shown = w->windowTitle() + u'|' + select->text();
            select->setText(u"a:hover"_s);
            w->findChild<QPushButton*>(u"cmdOK"_s)->click();
            select->setText(u"#main"_s);
            auto* ignore = w->findChild<QListWidget*>(u"lstIgnore"_s);
            auto* bad = new QListWidgetItem(u"(unclosed"_s, ignore);
            w->findChild<QPushButton*>(u"cmdOK"_s)->click();
            bad->setText(u"\\d+"_s);
            w->findChild<QPushButton*>(u"cmdOK"_s)->click();
        });
        rulesAction()->trigger();
        QCOMPARE(shown, u"判定ルール - a|#old"_s);
        QCOMPARE(capture->messages.size(), 2);
        QVERIFY(capture->messages.first().contains(u"a:hover"_s));
        QVERIFY(capture->messages.last().contains(u"(unclosed"_s));
        const FilterRules stored = ReadFilterRules(ReadAll(path));
        QCOMPARE(stored.select, u"#main"_s);
        QCOMPARE(stored.ignore, QStringList{u"\\d+"_s});
        QCOMPARE(ReadItemFile(program->itemFolder(), "a.url").Info, u"12"_s);
    }

    void cancelLeavesFileAlone()
    {
        OpenWith(u"a"_s);
        const QByteArray before = ReadAll(program->itemPath(u"a"_s));
        OnModal([](QWidget* w) {
            w->findChild<QLineEdit*>(u"txtSelect"_s)->setText(u"#main"_s);
            w->findChild<QPushButton*>(u"cmdCancel"_s)->click();
        });
        rulesAction()->trigger();
        QCOMPARE(ReadAll(program->itemPath(u"a"_s)), before);
    }
};

QTEST_MAIN(tst_frmMain_FilterRules)
#include "tst_frmMain_FilterRules.moc"
