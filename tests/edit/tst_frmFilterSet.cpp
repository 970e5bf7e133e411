#include "edit/frmFilterSet.h"
#include "support/WindowTesting.h"
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

using namespace Qt::StringLiterals;

namespace
{

template <typename T> T* Control(const QString& name)
{
    T* c = frmFilterSet::Instance().findChild<T*>(name);
    if (!c)
        qFatal("no control %s", qPrintable(name));
    return c;
}

// Shows the shared dialog as the Setting pane does and runs inside while it is open; a dialog
// still open afterwards is cancelled. The exec() result.
int Show(const QString& select, const QStringList& ignore,
         const std::function<void(frmFilterSet&)>& inside)
{
    frmFilterSet& d = frmFilterSet::Instance();
    d.Title = u"ニュース"_s;
    d.Select = select;
    d.Ignore = ignore;
    QObject context;
    QTimer::singleShot(0, &context, [&] {
        if (!QTest::qWaitForWindowActive(&d))
            qWarning("the dialog did not become active");
        inside(d);
        if (d.isVisible())
            Control<QPushButton>(u"cmdCancel"_s)->click();
    });
    return d.exec();
}

QStringList ListLines()
{
    return Lines(Control<QListWidget>(u"lstIgnore"_s));
}

} // namespace

class tst_frmFilterSet final : public QObject
{
    Q_OBJECT

    std::unique_ptr<MsgBoxCapture> capture;

private slots:
    void init()
    {
        capture = std::make_unique<MsgBoxCapture>();
        frmFilterSet::Instance().Validate = {};
    }
    void cleanup() { capture.reset(); }

    void controlsAndFill()
    {
        QString title;
        QString shownSelect;
        QStringList shownIgnore;
        Show(u"#main"_s, {u"\\d+"_s, u"PR"_s}, [&](frmFilterSet& d) {
            title = d.windowTitle();
            shownSelect = Control<QLineEdit>(u"txtSelect"_s)->text();
            shownIgnore = ListLines();
            QCOMPARE(QApplication::focusWidget(), Control<QLineEdit>(u"txtSelect"_s));
        });
        QCOMPARE(title, u"判定ルール - ニュース"_s);
        QCOMPARE(shownSelect, u"#main"_s);
        QCOMPARE(shownIgnore, (QStringList{u"\\d+"_s, u"PR"_s}));
        QCOMPARE(Control<QLabel>(u"lblSelect"_s)->buddy(), Control<QLineEdit>(u"txtSelect"_s));
        QCOMPARE(Control<QLabel>(u"lblIgnore"_s)->buddy(), Control<QListWidget>(u"lstIgnore"_s));
        QVERIFY(!Control<QListWidget>(u"lstIgnore"_s)->accessibleName().isEmpty());
        QVERIFY(Control<QPushButton>(u"cmdOK"_s)->isDefault());
        QCOMPARE(Control<QPushButton>(u"cmdCancel"_s)->text(), u"キャンセル"_s);
        QVERIFY(frmFilterSet::Instance().Cancelled);
    }

    // Added with the button and typed in place, removed with Del; empty lines are no rules.
    void editList()
    {
        Show(u""_s, {u"a"_s, u"b"_s}, [&](frmFilterSet&) {
            auto* list = Control<QListWidget>(u"lstIgnore"_s);
            Control<QPushButton>(u"cmdAddIgnore"_s)->click();
            QTest::keyClicks(QApplication::focusWidget(), u"c+"_s);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            Control<QPushButton>(u"cmdAddIgnore"_s)->click(); // left empty
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            list->setCurrentRow(0);
            list->setFocus();
            QTest::keyClick(list, Qt::Key_Delete);
            Control<QPushButton>(u"cmdOK"_s)->click();
        });
        const frmFilterSet& d = frmFilterSet::Instance();
        QVERIFY(!d.Cancelled);
        QCOMPARE(d.Ignore, (QStringList{u"b"_s, u"c+"_s}));
    }

    void ok_data()
    {
        QTest::addColumn<QString>("select");
        QTest::addColumn<QString>("reason");  // what the validator says; empty: valid
        QTest::addColumn<QString>("message"); // part of the box's text; empty: accepted
        QTest::newRow("valid") << u"div.news > p"_s << QString() << QString();
        QTest::newRow("validator refuses")
            << u"div["_s << u"セレクタが不正です"_s << u"セレクタが不正です"_s;
        QTest::newRow("outside CP932, before the validator")
            << u"p.café"_s << QString() << u"「é」(U+00E9)"_s;
    }
    void ok()
    {
        QFETCH(QString, select);
        QFETCH(QString, reason);
        QFETCH(QString, message);
        QStringList seen;
        frmFilterSet::Instance().Validate = [&](const QString& s, const QStringList& ignore) {
            seen = QStringList{s} + ignore;
            return reason;
        };
        bool stayedOpen = false;
        Show(u"old"_s, {u"x"_s}, [&](frmFilterSet& d) {
            Control<QLineEdit>(u"txtSelect"_s)->setText(select);
            Control<QPushButton>(u"cmdOK"_s)->click();
            stayedOpen = d.isVisible();
        });
        const frmFilterSet& d = frmFilterSet::Instance();
        if (message.isEmpty()) {
            QVERIFY(capture->messages.isEmpty());
            QVERIFY(!d.Cancelled);
            QCOMPARE(d.Select, select);
            QCOMPARE(seen, (QStringList{select, u"x"_s}));
        } else {
            QVERIFY(stayedOpen);
            QCOMPARE(capture->messages.size(), 1);
            QVERIFY2(capture->messages.first().contains(message),
                     qPrintable(capture->messages.first()));
            QVERIFY(d.Cancelled);
            QCOMPARE(d.Select, u"old"_s); // the members keep the caller's values
        }
    }

    void dismissKeepsMembers_data() { AddDismissRows(); }
    void dismissKeepsMembers()
    {
        QFETCH(QString, how);
        Show(u"old"_s, {u"x"_s}, [&](frmFilterSet& d) {
            Control<QLineEdit>(u"txtSelect"_s)->setText(u"new"_s);
            Dismiss(&d, how);
        });
        const frmFilterSet& d = frmFilterSet::Instance();
        QVERIFY(d.Cancelled);
        QCOMPARE(d.Select, u"old"_s);
        QCOMPARE(d.Ignore, QStringList{u"x"_s});
    }
};

QTEST_MAIN(tst_frmFilterSet)
#include "tst_frmFilterSet.moc"
