#include "edit/frmErrAutoSet.h"
#include "edit/frmItemSet.h"
#include "store/ItemFile.h"
#include "support/TestHttpServer.h"
#include "support/WindowTesting.h"
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

namespace
{
const QString NoTitle = QStringLiteral("タイトルを入力してください。");
const QString BadCount = QStringLiteral("アクセス回数が不正です。");
const QString BadTolerance = QStringLiteral("許容誤差が不正です。");

template <typename T> T* Control(const char* name)
{
    T* c = frmItemSet::Instance().findChild<T*>(QString::fromLatin1(name));
    if (!c)
        qFatal("no control %s", name);
    return c;
}
QLineEdit* Box(const char* name)
{
    return Control<QLineEdit>(name);
}
QPushButton* Button(const char* name)
{
    return Control<QPushButton>(name);
}
QCheckBox* Check()
{
    return Control<QCheckBox>("chkCheck2Byte");
}

void SetMembers(const QString& title, const QString& url, qint16 err, const QString& info,
                qint16 check2Byte)
{
    frmItemSet& d = frmItemSet::Instance();
    d.Title = title;
    d.URL = url;
    d.Err = err;
    d.Info = info;
    d.Check2Byte = check2Byte;
}

struct Shown {
    int result = -1;
    bool leftOpen = false; // the dialog was still open after `inside`, so the test cancelled it
    bool timedOut = false;
};

// Shows the shared dialog as the Setting pane does and runs `inside` while it is open.
Shown Show(const std::function<void(frmItemSet&)>& inside)
{
    frmItemSet& d = frmItemSet::Instance();
    Shown shown;
    QObject context;
    QTimer::singleShot(0, &context, [&] {
        inside(d);
        if (d.isVisible()) {
            shown.leftOpen = true;
            Button("cmdCancel")->click();
        }
    });
    QTimer watchdog;
    watchdog.setInterval(20000);
    QObject::connect(&watchdog, &QTimer::timeout, &context, [&] {
        shown.timedOut = true;
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
        else
            d.close();
    });
    watchdog.start();
    shown.result = d.exec();
    return shown;
}
} // namespace

class tst_frmItemSet final : public QObject
{
    Q_OBJECT

private:
    TestHttpServer server;
    MsgBoxCapture msgBox;
    QStringList& messages = msgBox.messages;

    void pagesGrowingBy100()
    {
        server.setHandler([](const QByteArray&, int hit) {
            TestResponse r;
            r.body = QByteArray(100 * hit, 'x');
            return r;
        });
    }

private slots:
    void initTestCase() { QVERIFY(server.listen()); }
    void init() { messages.clear(); }

    void layout_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("twips");

        const auto row = [](const char* name, const QString& caption, QRect twips) {
            QTest::newRow(name) << QString::fromLatin1(name) << caption << twips;
        };
        row("lblTitle", QStringLiteral("タイトル"), {75, 90, 585, 180});
        row("txtTitle", QString(), {900, 60, 4350, 240});
        row("lblURL", QStringLiteral("URL"), {75, 390, 330, 180});
        row("txtURL", QString(), {900, 360, 4350, 240});
        row("lblError", QStringLiteral("許容誤差"), {75, 690, 720, 180});
        row("txtErr", QString(), {900, 660, 450, 240});
        row("cmdErrAutoSet", QStringLiteral("自動設定"), {1425, 630, 900, 300});
        row("lblNumAccess", QStringLiteral("アクセス回数        回"), {2400, 690, 1665, 180});
        row("txtNumAccess", QStringLiteral("10"), {3525, 660, 300, 240});
        row("lblInfo", QStringLiteral("更新情報"), {75, 990, 720, 180});
        row("txtInfo", QString(), {900, 960, 2400, 240});
        row("chkCheck2Byte", QStringLiteral("2バイト文字のみチェック"), {900, 1275, 2175, 225});
        row("cmdOK", QStringLiteral("OK"), {4275, 825, 975, 300});
        row("cmdCancel", QStringLiteral("キャンセル"), {4275, 1200, 975, 300});
    }

    void layout()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QRect, twips);

        frmItemSet& d = frmItemSet::Instance();
        QCOMPARE(d.windowTitle(), QStringLiteral("アイテム設定"));
        const double pixelsPerTwip = d.logicalDpiX() / 1440.0;
        const auto px = [&](int t) { return qRound(t * pixelsPerTwip); };
        QCOMPARE(d.size(), QSize(px(5310), px(1575)));

        QWidget* w = d.findChild<QWidget*>(name);
        QVERIFY(w);
        QCOMPARE(w->parentWidget(), &d);
        const QRect expected(px(twips.x()), px(twips.y()), px(twips.width()), px(twips.height()));
        if (qobject_cast<QLabel*>(w) || qobject_cast<QCheckBox*>(w)) {
            // A caption wider in this font than in the designed one widens its control.
            QCOMPARE(w->pos(), expected.topLeft());
            QCOMPARE(w->height(), expected.height());
            QVERIFY(w->width() >= expected.width());
            QVERIFY(w->width() >= w->sizeHint().width());
        } else {
            QCOMPARE(w->geometry(), expected);
        }
        if (auto* l = qobject_cast<QLabel*>(w))
            QCOMPARE(l->text(), caption);
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
            QCOMPARE(b->text(), caption);
        else if (auto* t = qobject_cast<QLineEdit*>(w)) {
            if (!caption.isEmpty())
                QCOMPARE(t->text(), caption);
            QVERIFY(!t->accessibleName().isEmpty());
        }
    }

    void countBoxSitsInItsLabelsGap()
    {
        const QLabel* label = Control<QLabel>("lblNumAccess");
        const QLineEdit* box = Box("txtNumAccess");
        const QFontMetricsF metrics(label->font());
        const QString text = label->text();
        const qreal head = label->x() + metrics.horizontalAdvance(QStringLiteral("アクセス回数"));
        const qreal tail = label->x() + metrics.horizontalAdvance(text.left(text.size() - 1));
        QVERIFY(head <= box->x());
        QVERIFY(tail >= box->x() + box->width());
        QVERIFY(tail + metrics.horizontalAdvance(QStringLiteral("回")) <=
                label->x() + label->width() + 1);
    }

    void keyboardAndScreenReaders()
    {
        frmItemSet& d = frmItemSet::Instance();
        QStringList order;
        QWidget* w = Box("txtTitle");
        do {
            if (w->focusPolicy() & Qt::TabFocus)
                order << w->objectName();
            w = w->nextInFocusChain();
        } while (w != Box("txtTitle") && order.size() < 20);
        QCOMPARE(order, (QStringList{QStringLiteral("txtTitle"), QStringLiteral("txtURL"),
                                     QStringLiteral("txtErr"), QStringLiteral("cmdErrAutoSet"),
                                     QStringLiteral("txtNumAccess"), QStringLiteral("txtInfo"),
                                     QStringLiteral("chkCheck2Byte"), QStringLiteral("cmdOK"),
                                     QStringLiteral("cmdCancel")}));
        const QList<QPair<const char*, const char*>> buddies{{"lblTitle", "txtTitle"},
                                                             {"lblURL", "txtURL"},
                                                             {"lblError", "txtErr"},
                                                             {"lblNumAccess", "txtNumAccess"},
                                                             {"lblInfo", "txtInfo"}};
        for (const auto& [label, box] : buddies)
            QCOMPARE(Control<QLabel>(label)->buddy(), Box(box));
        QVERIFY(Button("cmdOK")->isDefault());
        QVERIFY(!d.parent());
        QCOMPARE(&d, &frmItemSet::Instance());
    }

    void fillsFromMembers_data()
    {
        QTest::addColumn<int>("check2Byte");
        QTest::addColumn<bool>("checked");
        QTest::newRow("0") << 0 << false;
        QTest::newRow("1") << 1 << true;
        QTest::newRow("-1 from an old file") << -1 << false;
        QTest::newRow("2") << 2 << false;
    }

    void fillsFromMembers()
    {
        QFETCH(int, check2Byte);
        QFETCH(bool, checked);

        SetMembers(QStringLiteral("題"), QStringLiteral("http://example.test/"), -12,
                   QStringLiteral("エラー:x"), qint16(check2Byte));
        frmItemSet::Instance().Cancelled = false;
        const Shown shown = Show([&](frmItemSet& d) {
            QVERIFY(d.Cancelled);
            QCOMPARE(Box("txtTitle")->text(), QStringLiteral("題"));
            QCOMPARE(Box("txtURL")->text(), QStringLiteral("http://example.test/"));
            QCOMPARE(Box("txtErr")->text(), QStringLiteral("-12"));
            QCOMPARE(Box("txtInfo")->text(), QStringLiteral("エラー:x"));
            QCOMPARE(Box("txtNumAccess")->text(), QStringLiteral("10"));
            QCOMPARE(Check()->isChecked(), checked);
        });
        QVERIFY(shown.leftOpen);
        QVERIFY(frmItemSet::Instance().Cancelled);
        QCOMPARE(int(frmItemSet::Instance().Check2Byte), check2Byte);
    }

    void okTolerance_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("err");

        QTest::newRow("abc") << QStringLiteral("abc") << true << 0;
        QTest::newRow("empty") << QString() << true << 0;
        QTest::newRow("12.5") << QStringLiteral("12.5") << true << 12;
        QTest::newRow("13.5") << QStringLiteral("13.5") << true << 14;
        QTest::newRow("-3") << QStringLiteral("-3") << true << -3;
        QTest::newRow("leading number") << QStringLiteral(" 4 2x") << true << 42;
        QTest::newRow("hex") << QStringLiteral("&H10") << true << 16;
        QTest::newRow("largest") << QStringLiteral("32767") << true << 32767;
        QTest::newRow("smallest") << QStringLiteral("-32768") << true << -32768;
        QTest::newRow("-32768.5 to even") << QStringLiteral("-32768.5") << true << -32768;
        QTest::newRow("32768") << QStringLiteral("32768") << false << 0;
        QTest::newRow("32767.5 rounds out") << QStringLiteral("32767.5") << false << 0;
        QTest::newRow("-32769") << QStringLiteral("-32769") << false << 0;
        QTest::newRow("1e9") << QStringLiteral("1e9") << false << 0;
        QTest::newRow("1e999") << QStringLiteral("1e999") << false << 0;
    }

    void okTolerance()
    {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QFETCH(int, err);

        SetMembers(QStringLiteral("t"), QStringLiteral("u"), 7, QString(), 0);
        const Shown shown = Show([&](frmItemSet&) {
            Box("txtErr")->setText(text);
            Button("cmdOK")->click();
            if (!accepted) {
                QCOMPARE(Box("txtErr")->text(), text);
                QVERIFY(frmItemSet::Instance().isVisible());
            }
        });
        frmItemSet& d = frmItemSet::Instance();
        QCOMPARE(shown.leftOpen, !accepted);
        QCOMPARE(d.Cancelled, !accepted);
        QCOMPARE(int(d.Err), accepted ? err : 7);
        QCOMPARE(messages, accepted ? QStringList() : QStringList{BadTolerance});
    }

    void okTitle_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message"); // empty: accepted

        QTest::newRow("one blank") << QStringLiteral(" ") << QString();
        QTest::newRow("Japanese") << QStringLiteral("日本語のページ") << QString();
        QTest::newRow("empty") << QString() << NoTitle;
        const QStringList unusable{QStringLiteral("a/b"),      QStringLiteral("a\\b"),
                                   QStringLiteral("a:b"),      QStringLiteral("a?b"),
                                   QStringLiteral("."),        QStringLiteral(".."),
                                   QStringLiteral("aux.news"), QString(300, QLatin1Char('x'))};
        for (const QString& t : unusable)
            QTest::newRow(qPrintable(QStringLiteral("unusable ") + t.left(8)))
                << t << TitleProblem(t);
    }

    void okTitle()
    {
        QFETCH(QString, title);
        QFETCH(QString, message);
        if (QByteArray(QTest::currentDataTag()).startsWith("unusable"))
            QVERIFY2(!message.isEmpty(), "a title that cannot be a file name on Windows");

        SetMembers(QStringLiteral("old"), QStringLiteral("u"), 1, QStringLiteral("i"), 1);
        const Shown shown = Show([&](frmItemSet&) {
            Box("txtTitle")->setText(title);
            Box("txtURL")->setText(QStringLiteral("typed"));
            Button("cmdOK")->click();
            if (!message.isEmpty()) {
                QCOMPARE(Box("txtTitle")->text(), title);
                QCOMPARE(Box("txtURL")->text(), QStringLiteral("typed"));
            }
        });
        frmItemSet& d = frmItemSet::Instance();
        if (message.isEmpty()) {
            QVERIFY(!shown.leftOpen);
            QCOMPARE(shown.result, int(QDialog::Accepted));
            QVERIFY(!d.Cancelled);
            QCOMPARE(d.Title, title);
            QCOMPARE(d.URL, QStringLiteral("typed"));
            QVERIFY(messages.isEmpty());
        } else {
            QVERIFY(shown.leftOpen);
            QVERIFY(d.Cancelled);
            QCOMPARE(d.Title, QStringLiteral("old"));
            QCOMPARE(messages, QStringList{message});
        }
    }

    // The title given names an existing file, which is never refused for its name.
    void okKeepsTheTitleGiven()
    {
        SetMembers(QStringLiteral("con"), QStringLiteral("u"), 1, QStringLiteral("i"), 1);
        const Shown shown = Show([&](frmItemSet&) { Button("cmdOK")->click(); });
        QVERIFY(!shown.leftOpen);
        QCOMPARE(frmItemSet::Instance().Title, QStringLiteral("con"));
        QVERIFY(messages.isEmpty());
    }

    // Info that CP932 cannot hold is refused, naming the characters; a URL is not.
    void okRefusesInfoCP932Lacks()
    {
        SetMembers(QStringLiteral("t"), QStringLiteral("u"), 1, QStringLiteral("i"), 1);
        const Shown shown = Show([&](frmItemSet&) {
            Box("txtURL")->setText(QStringLiteral("http://h/café"));
            Box("txtInfo")->setText(QStringLiteral("Café 😀"));
            Button("cmdOK")->click();
            QCOMPARE(messages.size(), 1);
            QVERIFY(messages.first().contains(QStringLiteral("「é」(U+00E9) 「😀」(U+1F600)")));
            Box("txtInfo")->setText(QStringLiteral("Cafe"));
            Button("cmdOK")->click();
        });
        QVERIFY(!shown.leftOpen);
        QCOMPARE(messages.size(), 1);
        QCOMPARE(frmItemSet::Instance().URL, QStringLiteral("http://h/café"));
    }

    void okTakesEveryField_data()
    {
        QTest::addColumn<bool>("byEnter");
        QTest::newRow("OK button") << false;
        QTest::newRow("Enter") << true;
    }

    void okTakesEveryField()
    {
        QFETCH(bool, byEnter);

        SetMembers(QStringLiteral("old"), QStringLiteral("old url"), 1, QStringLiteral("old"), 1);
        const Shown shown = Show([&](frmItemSet&) {
            Box("txtTitle")->setText(QStringLiteral("new"));
            Box("txtURL")->setText(QStringLiteral("http://new.test/"));
            Box("txtErr")->setText(QStringLiteral("25"));
            Box("txtInfo")->setText(QStringLiteral("Wed, 21 Oct 2015 07:28:00 GMT"));
            Check()->setChecked(false);
            if (byEnter)
                QTest::keyClick(Box("txtInfo"), Qt::Key_Return);
            else
                Button("cmdOK")->click();
        });
        frmItemSet& d = frmItemSet::Instance();
        QVERIFY(!shown.leftOpen);
        QCOMPARE(shown.result, int(QDialog::Accepted));
        QVERIFY(!d.Cancelled);
        QCOMPARE(d.Title, QStringLiteral("new"));
        QCOMPARE(d.URL, QStringLiteral("http://new.test/"));
        QCOMPARE(int(d.Err), 25);
        QCOMPARE(d.Info, QStringLiteral("Wed, 21 Oct 2015 07:28:00 GMT"));
        QCOMPARE(int(d.Check2Byte), 0);
    }

    void dismissKeepsMembers_data() { AddDismissRows(); }

    void dismissKeepsMembers()
    {
        QFETCH(QString, how);

        SetMembers(QStringLiteral("t"), QStringLiteral("u"), 3, QStringLiteral("i"), 0);
        const Shown shown = Show([&](frmItemSet& d) {
            Box("txtTitle")->setText(QStringLiteral("x"));
            Box("txtURL")->setText(QStringLiteral("y"));
            Box("txtErr")->setText(QStringLiteral("99"));
            Box("txtInfo")->setText(QStringLiteral("z"));
            Check()->setChecked(true);
            Dismiss(&d, how, Box("txtErr"));
        });
        frmItemSet& d = frmItemSet::Instance();
        QVERIFY(!shown.leftOpen);
        QCOMPARE(shown.result, int(QDialog::Rejected));
        QVERIFY(d.Cancelled);
        QCOMPARE(d.Title, QStringLiteral("t"));
        QCOMPARE(d.URL, QStringLiteral("u"));
        QCOMPARE(int(d.Err), 3);
        QCOMPARE(d.Info, QStringLiteral("i"));
        QCOMPARE(int(d.Check2Byte), 0);
    }

    void calibrationCount_data()
    {
        QTest::addColumn<QString>("count");
        QTest::addColumn<int>("accesses"); // 0: refused

        QTest::newRow("0") << QStringLiteral("0") << 0;
        QTest::newRow("-1") << QStringLiteral("-1") << 0;
        QTest::newRow("0.9") << QStringLiteral("0.9") << 0;
        QTest::newRow("abc") << QStringLiteral("abc") << 0;
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("32768") << QStringLiteral("32768") << 0;
        QTest::newRow("1e6") << QStringLiteral("1e6") << 0;
        QTest::newRow("1") << QStringLiteral("1") << 1;
        QTest::newRow("1.5") << QStringLiteral("1.5") << 2;
        QTest::newRow("2.5") << QStringLiteral("2.5") << 2;
        QTest::newRow("3") << QStringLiteral("3") << 3;
    }

    void calibrationCount()
    {
        QFETCH(QString, count);
        QFETCH(int, accesses);

        pagesGrowingBy100();
        const QString path = QStringLiteral("/count/") + PathTag();
        SetMembers(QStringLiteral("t"), server.url(path), 5, QString(), 0);
        const Shown shown = Show([&](frmItemSet&) {
            Box("txtNumAccess")->setText(count);
            Button("cmdErrAutoSet")->click();
            QCOMPARE(Box("txtErr")->text(),
                     accesses ? QString::number(100 * (accesses - 1)) : QStringLiteral("5"));
            QCOMPARE(Box("txtNumAccess")->text(), count);
        });
        QVERIFY(!shown.timedOut);
        QVERIFY(shown.leftOpen);
        QCOMPARE(server.hits(path), accesses);
        QCOMPARE(messages, accesses ? QStringList() : QStringList{BadCount});
        QCOMPARE(int(frmItemSet::Instance().Err), 5);
    }

    void calibrationUsesTheBoxesAsShown()
    {
        // Double-byte counts 10 and 15, character counts 110 and 65.
        server.setHandler([](const QByteArray&, int hit) {
            TestResponse r;
            r.body = hit == 1 ? QByteArray("\x82\xa0").repeated(10) + QByteArray(100, 'a')
                              : QByteArray("\x82\xa0").repeated(15) + QByteArray(50, 'a');
            return r;
        });
        const QString oldUrl = server.url(QStringLiteral("/old"));
        const QString newUrl = server.url(QStringLiteral("/new"));
        SetMembers(QStringLiteral("t"), oldUrl, 3, QString(), 0);

        Shown shown = Show([&](frmItemSet&) {
            Box("txtURL")->setText(newUrl);
            Check()->setChecked(true);
            Box("txtNumAccess")->setText(QStringLiteral("2"));
            Button("cmdErrAutoSet")->click();
            QCOMPARE(Box("txtErr")->text(), QStringLiteral("5"));
            Button("cmdCancel")->click();
        });
        frmItemSet& d = frmItemSet::Instance();
        QCOMPARE(server.hits(QStringLiteral("/old")), 0);
        QCOMPARE(server.hits(QStringLiteral("/new")), 2);
        QCOMPARE(frmErrAutoSet::Instance().URL, newUrl);
        QCOMPARE(int(frmErrAutoSet::Instance().Check2Byte), 1);
        // Cancel after a calibration discards it.
        QVERIFY(d.Cancelled);
        QCOMPARE(int(d.Err), 3);
        QCOMPARE(d.URL, oldUrl);

        // The next opening shows the stored tolerance and "10" again; OK takes a calibration.
        shown = Show([&](frmItemSet&) {
            QCOMPARE(Box("txtErr")->text(), QStringLiteral("3"));
            QCOMPARE(Box("txtNumAccess")->text(), QStringLiteral("10"));
            QCOMPARE(Box("txtURL")->text(), oldUrl);
            Box("txtNumAccess")->setText(QStringLiteral("2"));
            Button("cmdErrAutoSet")->click();
            QCOMPARE(Box("txtErr")->text(), QStringLiteral("45"));
            Button("cmdOK")->click();
        });
        QVERIFY(!d.Cancelled);
        QCOMPARE(int(d.Err), 45);
        QCOMPARE(server.hits(QStringLiteral("/old")), 2);
        QVERIFY(messages.isEmpty());
    }

    void calibrationFailureKeepsTolerance_data()
    {
        QTest::addColumn<bool>("lastModified");
        QTest::newRow("Last-modified") << true;
        QTest::newRow("transfer error") << false;
    }

    void calibrationFailureKeepsTolerance()
    {
        QFETCH(bool, lastModified);

        server.setHandler([&](const QByteArray&, int hit) {
            TestResponse r;
            r.body = QByteArray(10 * hit, 'a');
            if (hit == 2) {
                if (lastModified)
                    r.headers << qMakePair(QByteArray("Last-Modified"),
                                           QByteArray("Wed, 21 Oct 2015 07:28:00 GMT"));
                else
                    r.closeAfterBytes = 0;
            }
            if (hit > 2 && !lastModified)
                r.closeAfterBytes = 0;
            return r;
        });
        const QString path = QStringLiteral("/fail/") + PathTag();
        SetMembers(QStringLiteral("t"), server.url(path), 3, QString(), 0);
        const Shown shown = Show([&](frmItemSet&) {
            Box("txtErr")->setText(QStringLiteral("8"));
            Box("txtNumAccess")->setText(QStringLiteral("4"));
            Button("cmdErrAutoSet")->click();
            QCOMPARE(Box("txtErr")->text(), QStringLiteral("8"));
        });
        QVERIFY(!shown.timedOut);
        QCOMPARE(messages.size(), 1);
        if (lastModified)
            QCOMPARE(messages.first(),
                     QStringLiteral("このアイテムには誤差設定は必要ありません。"));
        else
            QVERIFY(messages.first().startsWith(QStringLiteral("エラー:")));
    }
};

QTEST_MAIN(tst_frmItemSet)
#include "tst_frmItemSet.moc"
