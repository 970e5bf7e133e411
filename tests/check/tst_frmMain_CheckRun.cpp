// The check run of the real main window against a local HTTP server.
#include "app/CodePage.h"
#include "check/Inet.h"
#include "check/KeptPages.h"
#include "check/RunResults.h"
#include "support/TestHttpServer.h"
#include "support/TestProgramFolder.h"
#include "support/WindowTesting.h"
#include "support/frmMainProbe.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QSoundEffect>
#include <QToolBar>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(TestResponse)

using namespace Qt::StringLiterals;

namespace
{

const QByteArray LastModified = "Wed, 01 Jan 2025 10:00:00 GMT";

// count characters, of which doubleByte take two bytes in CP932.
QByteArray sjisBody(int count, int doubleByte)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += i < doubleByte ? u'漢' : u'a';
    return CodePage::ToAnsi(text);
}

} // namespace

class tst_frmMain_CheckRun final : public QObject
{
    Q_OBJECT

private:
    MsgBoxCapture msgBox;

    // A window over an empty folder (no run starts), so the test can prepare Inet1 and the
    // items before LoadItems starts the run.
    static std::unique_ptr<frmMain> idleWindow() { return std::make_unique<frmMain>(); }

private slots:
    void init() { msgBox.messages.clear(); }

    void compareResponse_data();
    void compareResponse();
    void runOverSeveralItems();
    void transferErrors_data();
    void transferErrors();
    void httpFailureByText();
    void failedWritesToldAtTheEnd_data();
    void failedWritesToldAtTheEnd();
    void linkOutsideAndHugeFileLeftAlone();
    void skip_data();
    void skip();
    void leavingCheckPaneStopsRun();
    void progressCaptions_data();
    void progressCaptions();
    void endOfRun_data();
    void endOfRun();
    void listedFileIsCheckedAndWrittenInPlace_data();
    void listedFileIsCheckedAndWrittenInPlace();
};

void tst_frmMain_CheckRun::compareResponse_data()
{
    QTest::addColumn<TestResponse>("response");
    QTest::addColumn<int>("err");
    QTest::addColumn<QString>("info");
    QTest::addColumn<int>("check2Byte");
    QTest::addColumn<bool>("changed");
    QTest::addColumn<QString>("newInfo");

    // The decision itself is tested in tst_ChangeDecision, the body bound in tst_Inet; these
    // rows carry the response, the item file's fields and the first block to it.
    const QString date = QString::fromLatin1(LastModified);
    const QByteArray text500(500, 'x');
    QTest::newRow("header equal, Err ignored")
        << Page(text500, LastModified) << -1 << date << 0 << false << QString();
    QTest::newRow("header differs") << Page(text500, LastModified) << 0
                                    << u"Tue, 31 Dec 2024 10:00:00 GMT"_s << 0 << true << date;
    QTest::newRow("size, empty info") << Page(text500) << 0 << QString() << 0 << true << u"500"_s;
    QTest::newRow("size 503 within 3")
        << Page(QByteArray(503, 'x')) << 3 << u"500"_s << 0 << false << QString();
    QTest::newRow("Shift-JIS, double-byte count")
        << Page(sjisBody(1000, 300)) << 0 << QString() << 1 << true << u"300"_s;
    QTest::newRow("over 65535 bytes: first block")
        << Page(QByteArray(200000, 'x')) << 0 << QString() << 0 << true << u"65535"_s;
}

// One item: its completion leads straight to the end of the run.
void tst_frmMain_CheckRun::compareResponse()
{
    QFETCH(TestResponse, response);
    QFETCH(int, err);
    QFETCH(QString, info);
    QFETCH(int, check2Byte);
    QFETCH(bool, changed);
    QFETCH(QString, newInfo);

    TestHttpServer server;
    QVERIFY(server.listen());
    server.setResponse(u"/page"_s, response);
    TestProgramFolder folder(0);
    const ItemRecord item =
        MakeItem(u"Page"_s, server.url(u"/page"_s), qint16(err), info, qint16(check2Byte));
    folder.writeItem(item);

    frmMain window;
    frmMainProbe probe(window);
    QSignalSpy unloaded(&window, &frmMain::Unloaded);
    QVERIFY(WaitForRunEnd(window, unloaded));

    QCOMPARE(server.hits(u"/page"_s), 1);
    // Nothing is written by the comparison itself.
    QCOMPARE(folder.storedInfo(item.Title), info);
    if (changed) {
        QCOMPARE(unloaded.count(), 0);
        QCOMPARE(Lines(probe.lstCheck()), QStringList{item.Title});
        QCOMPARE(probe.Items().at(0).Info, newInfo);
        QCOMPARE(probe.Results().size(), 1);
        const ItemRecord& result = probe.Results().at(0);
        QCOMPARE(result.Title, item.Title);
        QCOMPARE(result.URL, item.URL);
        QCOMPARE(result.Err, item.Err);
        QCOMPARE(result.Info, newInfo);
        QCOMPARE(result.Check2Byte, item.Check2Byte);
    } else {
        QCOMPARE(unloaded.count(), 1);
        QVERIFY(!window.isVisible());
        QCOMPARE(probe.lstCheck()->count(), 0);
        QCOMPARE(probe.Items().at(0).Info, info);
    }
}

// Items are checked in folder order, one request at a time; Results follow the list lines.
void tst_frmMain_CheckRun::runOverSeveralItems()
{
    TestHttpServer server;
    QVERIFY(server.listen());
    server.setResponse(u"/a"_s, Page("aaaa", LastModified));
    server.setResponse(u"/b"_s, Page("bbbb", LastModified));
    server.setResponse(u"/c"_s, Page(QByteArray(40, 'c')));
    server.setResponse(u"/d"_s, Page(QByteArray(10, 'd')));
    TestProgramFolder folder(0);
    folder.writeItem(MakeItem(u"1 a"_s, server.url(u"/a"_s), 0, u"old"_s));
    folder.writeItem(MakeItem(u"2 b"_s, server.url(u"/b"_s), 0, QString::fromLatin1(LastModified)));
    folder.writeItem(MakeItem(u"3 c"_s, server.url(u"/c"_s), 5, u"10"_s));
    folder.writeItem(MakeItem(u"4 d"_s, server.url(u"/d"_s), 5, u"10"_s));

    frmMain window;
    frmMainProbe probe(window);
    QStringList captions{window.windowTitle()};
    connect(&window, &QWidget::windowTitleChanged, this, [&](const QString& t) { captions << t; });
    QSignalSpy unloaded(&window, &frmMain::Unloaded);
    QVERIFY(WaitForRunEnd(window, unloaded));

    QCOMPARE(unloaded.count(), 0);
    QCOMPARE(probe.LastIndex(), qint16(3));
    QCOMPARE(probe.CurrentIndex(), qint16(3));
    QCOMPARE(Lines(probe.lstCheck()), (QStringList{u"1 a"_s, u"3 c"_s}));
    QCOMPARE(probe.Results().size(), 2);
    QCOMPARE(probe.Results().at(0).URL, server.url(u"/a"_s));
    QCOMPARE(probe.Results().at(0).Info, QString::fromLatin1(LastModified));
    QCOMPARE(probe.Results().at(1).URL, server.url(u"/c"_s));
    QCOMPARE(probe.Results().at(1).Info, u"40"_s);
    QCOMPARE(probe.Items().at(3).Info, u"10"_s);
    for (const char* path : {"/a", "/b", "/c", "/d"})
        QCOMPARE(server.hits(QString::fromLatin1(path)), 1);

    // Each item's caption starts with "実行中..." and its title, in catalogue order, and its
    // progress captions belong to it.
    qsizetype at = -1;
    for (const QString& title : {u"1 a"_s, u"2 b"_s, u"3 c"_s, u"4 d"_s}) {
        const qsizetype next = captions.indexOf(u"実行中..."_s + title);
        QVERIFY2(next > at, qPrintable(captions.join(u" | "_s)));
        at = next;
    }
    static const QStringList statusTexts{u"IPアドレス取得"_s, u"接続"_s, u"送信"_s, u"受信"_s,
                                         u"切断"_s};
    for (qsizetype i = 0; i < captions.size(); ++i) {
        const qsizetype mark = captions.at(i).indexOf(u"中..."_s);
        if (mark <= 0 || captions.at(i).startsWith(u"実行"_s))
            continue;
        QVERIFY2(statusTexts.contains(captions.at(i).left(mark)), qPrintable(captions.at(i)));
        // The nearest "実行中..." before it names the same item.
        qsizetype j = i;
        while (j >= 0 && !captions.at(j).startsWith(u"実行中..."_s))
            --j;
        QVERIFY(j >= 0);
        QCOMPARE(captions.at(i).mid(mark + 4), captions.at(j).mid(6));
    }
    QCOMPARE(captions.last(), FinishedCaption);
}

void tst_frmMain_CheckRun::transferErrors_data()
{
    QTest::addColumn<QString>("failing"); // path on the test server, or a whole URL
    QTest::addColumn<TestResponse>("response");
    QTest::addColumn<int>("failWrite"); // 0: the error is written; 1: the item folder is gone

    // Every kind of failed transfer takes the same road here (the kinds: tst_Inet).
    TestResponse hang;
    hang.hang = true;
    QTest::newRow("connection refused")
        << u"http://127.0.0.1:%1/refused"_s.arg(ClosedPort()) << TestResponse() << 0;
    QTest::newRow("time-out") << u"/hang"_s << hang << 0;
    // Its error text echoes the address; the entry still keeps the file's layout.
    QTest::newRow("malformed address")
        << u"http://bad host\tname/\x7fpath"_s << TestResponse() << 0;
    // A write of the error text that fails is reported, and the run goes on (a read-only
    // file: failedWritesToldAtTheEnd).
    QTest::newRow("item folder gone") << u"/hang"_s << hang << 1;
}

// A failed transfer writes "エラー:" and the error text into the item file at once and the
// run goes on with the next item; the failed item is not listed.
void tst_frmMain_CheckRun::transferErrors()
{
    QFETCH(QString, failing);
    QFETCH(TestResponse, response);
    QFETCH(int, failWrite);

    TestHttpServer server;
    QVERIFY(server.listen());
    server.setResponse(u"/next"_s, Page("next page"));
    QString failingUrl = failing;
    if (failing.startsWith(u'/')) {
        server.setResponse(failing, response);
        failingUrl = server.url(failing);
    }
    TestProgramFolder folder(0);
    auto window = idleWindow();
    frmMainProbe probe(*window);
    probe.Inet1()->SetTimeoutMs(700);
    folder.writeItem(MakeItem(u"1 failing"_s, failingUrl, 4, u"123"_s, 1));
    folder.writeItem(MakeItem(u"2 next"_s, server.url(u"/next"_s), 0, u"1"_s));

    QSignalSpy unloaded(window.get(), &frmMain::Unloaded);
    probe.LoadItems();
    if (failWrite) {
        QTRY_COMPARE(server.hits(failing), 1);
        QVERIFY(folder.failWrites(u"1 failing"_s, failWrite == 1));
    }
    QVERIFY(WaitForRunEnd(*window, unloaded));

    const QString info = probe.Items().at(0).Info;
    QVERIFY2(info.startsWith(u"エラー:"_s), qPrintable(info));
    QVERIFY(!info.contains(u'\r') && !info.contains(u'\n'));
    QCOMPARE(Lines(probe.lstCheck()), QStringList{u"2 next"_s});
    QCOMPARE(probe.Results().size(), 1);
    QCOMPARE(server.hits(u"/next"_s), 1);
    QCOMPARE(msgBox.messages.size(), failWrite ? 1 : 0);
    if (failWrite == 1)
        return;
    QCOMPARE(folder.storedInfo(u"1 failing"_s), info);
    const QStringList fileLines = folder.itemLines(u"1 failing"_s);
    QCOMPARE(fileLines.value(1), u"URL="_s + failingUrl);
    QCOMPARE(fileLines.value(4), u"Err=4"_s);
    QCOMPARE(fileLines.value(6), u"Check2Byte=1"_s);
    // The next item was only written by a Save, never by the run.
    QCOMPARE(folder.storedInfo(u"2 next"_s), u"1"_s);
}

// Deciding by text, an error status is a failure: its Info is written at once, it is among the
// run's errors, and the run goes on.
void tst_frmMain_CheckRun::httpFailureByText()
{
    TestHttpServer server;
    QVERIFY(server.listen());
    TestResponse missing = Page("<p>Not Found</p>");
    missing.status = 404;
    server.setResponse(u"/missing"_s, missing);
    server.setResponse(u"/next"_s, Page("next page", LastModified));
    TestProgramFolder folder(0);
    WriteAll(folder.ini(), "[Option]\r\nExitAfterSave=0\r\nCompareText=1\r\n");
    auto window = idleWindow();
    frmMainProbe probe(*window);
    QTemporaryDir store;
    probe.runResults() =
        std::make_unique<RunResults>(std::make_unique<KeptPages>(store.path() + u'/'));
    folder.writeItem(MakeItem(u"1 missing"_s, server.url(u"/missing"_s), 0, u"500"_s));
    folder.writeItem(MakeItem(u"2 next"_s, server.url(u"/next"_s), 0, u"old"_s));

    QSignalSpy unloaded(window.get(), &frmMain::Unloaded);
    probe.LoadItems();
    QVERIFY(WaitForRunEnd(*window, unloaded));

    QCOMPARE(folder.storedInfo(u"1 missing"_s), u"エラー:HTTP 404 Not Found"_s);
    QCOMPARE(Lines(probe.lstCheck()), QStringList{u"2 next"_s});
    QVERIFY(probe.runResults()->Report(-1).contains(
        DiffLine{DiffLine::Plain, u"HTTP 404 Not Found"_s}));
    probe.runResults()->Kept().WaitIdle();
    QVERIFY(probe.runResults()->Kept().ReadFile(server.url(u"/missing"_s)).isEmpty());
}

void tst_frmMain_CheckRun::failedWritesToldAtTheEnd_data()
{
    QTest::addColumn<QString>("goodInfo"); // of the two good items; the page measures 9
    QTest::addColumn<QString>("whenTold"); // hits of the good page, unloads, list enabled
    QTest::newRow("pages changed: after the results") << u"1"_s << u"2 0 1"_s;
    QTest::newRow("none changed: before the window closes") << u"9"_s << u"2 0 0"_s;
}

// An error entry that cannot be written stops no run: one message, once the run has ended.
void tst_frmMain_CheckRun::failedWritesToldAtTheEnd()
{
    QFETCH(QString, goodInfo);
    QFETCH(QString, whenTold);
    TestHttpServer server;
    QVERIFY(server.listen());
    server.setResponse(u"/good"_s, Page("next page"));
    TestProgramFolder folder(0);
    auto window = idleWindow();
    frmMainProbe probe(*window);
    folder.writeItem(MakeItem(u"1 good"_s, server.url(u"/good"_s), 0, goodInfo));
    folder.writeItem(MakeItem(u"2 read-only"_s, u"http://127.0.0.1:%1/"_s.arg(ClosedPort())));
    folder.writeItem(MakeItem(u"3 good"_s, server.url(u"/good"_s), 0, goodInfo));
    QVERIFY(folder.failWrites(u"2 read-only"_s, false));
    QSignalSpy unloaded(window.get(), &frmMain::Unloaded);
    QStringList told;
    SetMsgBoxHookForTesting([&](const QString& text) {
        told << text
             << u"%1 %2 %3"_s.arg(server.hits(u"/good"_s))
                    .arg(unloaded.count())
                    .arg(int(probe.lstCheck()->isEnabled()));
    });
    probe.LoadItems();
    QVERIFY(WaitForRunEnd(*window, unloaded));
    SetMsgBoxHookForTesting([this](const QString& text) { msgBox.messages.append(text); });

    QCOMPARE(told.size(), 2);
    QVERIFY2(told[0].contains(u"「2 read-only」"_s), qPrintable(told[0]));
    QCOMPARE(told[1], whenTold);
    QCOMPARE(folder.storedInfo(u"2 read-only"_s), QString());
}

void tst_frmMain_CheckRun::skip_data()
{
    QTest::addColumn<bool>("lastItem");
    QTest::newRow("skip, more items follow") << false;
    QTest::newRow("skip on the last item") << true;
}

// Skip during a transfer: cancelled, neither listed nor changed, and no late event of the
// cancelled request reaches the run.
void tst_frmMain_CheckRun::skip()
{
    QFETCH(bool, lastItem);

    TestHttpServer server;
    QVERIFY(server.listen());
    TestResponse slow = Page("a changed page", LastModified);
    slow.delayMs = 400;
    server.setResponse(u"/slow"_s, slow);
    server.setResponse(u"/next"_s, Page("xx"));
    TestProgramFolder folder(0);
    folder.writeItem(MakeItem(u"1 slow"_s, server.url(u"/slow"_s), 0, u"old"_s));
    if (!lastItem)
        folder.writeItem(MakeItem(u"2 next"_s, server.url(u"/next"_s), 0, u"0"_s));

    frmMain window;
    frmMainProbe probe(window);
    QSignalSpy unloaded(&window, &frmMain::Unloaded);
    QTRY_COMPARE(server.hits(u"/slow"_s), 1);
    probe.tbrCheck_ButtonClick(probe.tbrCheckButton(3));
    if (lastItem) {
        QCOMPARE(unloaded.count(), 1); // FinishCheck ran at once
    } else {
        QCOMPARE(probe.CurrentIndex(), qint16(1));
        QVERIFY(probe.tbrCheckButton(3)->isEnabled());
        QVERIFY(WaitForRunEnd(window, unloaded));
        QCOMPARE(Lines(probe.lstCheck()), QStringList{u"2 next"_s});
    }
    QTest::qWait(700); // past the skipped page's answer
    QCOMPARE(probe.Items().at(0).Info, u"old"_s);
    QCOMPARE(folder.storedInfo(u"1 slow"_s), u"old"_s);
    QCOMPARE(probe.lstCheck()->count(), lastItem ? 0 : 1);
    QCOMPARE(probe.Results().size(), lastItem ? 0 : 1);
    QCOMPARE(unloaded.count(), lastItem ? 1 : 0);
}

// Leaving the Check pane abandons the run: a completion arriving then is ignored; coming
// back starts again from the first item with an empty list.
void tst_frmMain_CheckRun::leavingCheckPaneStopsRun()
{
    TestHttpServer server;
    QVERIFY(server.listen());
    TestResponse slow = Page("changed", LastModified);
    slow.delayMs = 300;
    server.setResponse(u"/a"_s, slow);
    server.setResponse(u"/b"_s, Page("changed too", LastModified));
    TestProgramFolder folder(0);
    folder.writeItem(MakeItem(u"a"_s, server.url(u"/a"_s)));
    folder.writeItem(MakeItem(u"b"_s, server.url(u"/b"_s)));

    frmMain window;
    frmMainProbe probe(window);
    QSignalSpy unloaded(&window, &frmMain::Unloaded);
    QTRY_COMPARE(server.hits(u"/a"_s), 1);
    probe.ShowSettingPane();
    QVERIFY(!probe.pctCheck()->isEnabled());
    QTest::qWait(600);
    // A completion or progress event reaching the window now changes nothing.
    probe.Inet1_StateChanged(Inet::icResponseCompleted);
    probe.Inet1_StateChanged(Inet::icConnecting);
    QCOMPARE(window.windowTitle(), u"設定"_s);
    QCOMPARE(probe.CurrentIndex(), qint16(0));
    QCOMPARE(probe.lstCheck()->count(), 0);
    QCOMPARE(server.hits(u"/b"_s), 0);
    QCOMPARE(unloaded.count(), 0);

    probe.ShowCheckPane();
    QVERIFY(WaitForRunEnd(window, unloaded));
    QCOMPARE(server.hits(u"/a"_s), 2);
    QCOMPARE(Lines(probe.lstCheck()), (QStringList{u"a"_s, u"b"_s}));
}

void tst_frmMain_CheckRun::progressCaptions_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("listEnabled");
    QTest::addColumn<bool>("paneEnabled");
    QTest::addColumn<QString>("caption"); // empty: unchanged

    QTest::newRow("1") << 1 << false << true << u"IPアドレス取得中...News"_s;
    QTest::newRow("3") << 3 << false << true << u"接続中...News"_s;
    QTest::newRow("5") << 5 << false << true << u"送信中...News"_s;
    QTest::newRow("7") << 7 << false << true << u"受信中...News"_s;
    QTest::newRow("9") << 9 << false << true << u"切断中...News"_s;
    for (int state : {0, 2, 4, 6, 8, 10, 13, -1})
        QTest::addRow("%d leaves the caption", state) << state << false << true << QString();
    QTest::newRow("after the run") << 7 << true << true << QString();
    QTest::newRow("during a cancel") << 3 << false << false << QString();
}

void tst_frmMain_CheckRun::progressCaptions()
{
    QFETCH(int, state);
    QFETCH(bool, listEnabled);
    QFETCH(bool, paneEnabled);
    QFETCH(QString, caption);

    TestProgramFolder folder(0);
    auto window = idleWindow();
    frmMainProbe probe(*window);
    probe.Items()[0].Title = u"News"_s;
    probe.CurrentIndex() = 0;
    probe.lstCheck()->setEnabled(listEnabled);
    probe.pctCheck()->setEnabled(paneEnabled);
    window->setWindowTitle(u"before"_s);
    probe.Inet1_StateChanged(state);
    QCOMPARE(window->windowTitle(), caption.isEmpty() ? u"before"_s : caption);
}

void tst_frmMain_CheckRun::endOfRun_data()
{
    QTest::addColumn<QByteArray>("alertWav"); // empty: no file

    QByteArray wav;
    {
        // 0.1 s of silence, 8 kHz mono 16-bit PCM
        const quint32 dataBytes = 1600;
        auto le32 = [](quint32 v) { return QByteArray(reinterpret_cast<const char*>(&v), 4); };
        auto le16 = [](quint16 v) { return QByteArray(reinterpret_cast<const char*>(&v), 2); };
        wav += "RIFF" + le32(36 + dataBytes) + "WAVEfmt " + le32(16) + le16(1) + le16(1) +
               le32(8000) + le32(16000) + le16(2) + le16(16) + "data" + le32(dataBytes) +
               QByteArray(dataBytes, '\0');
    }
    QTest::newRow("no alert.wav") << QByteArray();
    QTest::newRow("playable alert.wav") << wav;
    QTest::newRow("unplayable alert.wav") << QByteArray("not a sound at all");
}

// The end of a run with changes: alert, then list and buttons for the results.
void tst_frmMain_CheckRun::endOfRun()
{
    QFETCH(QByteArray, alertWav);

    TestHttpServer server;
    QVERIFY(server.listen());
    server.setResponse(u"/p"_s, Page("12345"));
    TestProgramFolder folder(0);
    if (!alertWav.isEmpty()) {
        QFile sound(folder.path() + u"alert.wav"_s);
        QVERIFY(sound.open(QIODevice::WriteOnly));
        sound.write(alertWav);
    }
    folder.writeItem(MakeItem(u"p"_s, server.url(u"/p"_s)));

    frmMain window;
    frmMainProbe probe(window);
    QVERIFY(!probe.lstCheck()->isEnabled());
    QVERIFY(!probe.tbrCheckButton(1)->isEnabled());
    QVERIFY(!probe.tbrCheckButton(2)->isEnabled());
    QVERIFY(probe.tbrCheckButton(3)->isEnabled());
    QVERIFY(!probe.lblOrlan()->isEnabled());
    QSignalSpy unloaded(&window, &frmMain::Unloaded);
    QVERIFY(WaitForRunEnd(window, unloaded));
    QCOMPARE(unloaded.count(), 0);
    QVERIFY(probe.lstCheck()->isEnabled());
    QVERIFY(probe.tbrCheckButton(1)->isEnabled());
    QVERIFY(probe.tbrCheckButton(2)->isEnabled());
    QVERIFY(!probe.tbrCheckButton(3)->isEnabled());
    QVERIFY(probe.tbrCheckButton(4)->isEnabled());
    QVERIFY(probe.lblOrlan()->isEnabled());
    const auto* sound = window.findChild<QSoundEffect*>();
    if (sound)
        QCOMPARE(sound->source(), QUrl::fromLocalFile(folder.path() + u"alert.wav"_s));
    QTest::qWait(100);
    QCOMPARE(window.windowTitle(), FinishedCaption);
    QVERIFY(msgBox.messages.isEmpty());
}

void tst_frmMain_CheckRun::listedFileIsCheckedAndWrittenInPlace_data()
{
    QTest::addColumn<QByteArray>("name"); // as the file system holds it
    QTest::addColumn<QString>("prefix");  // FolderPath is the item folder + this
    QTest::addColumn<QString>("title");
    QTest::newRow("Shift-JIS name")
        << "\x83\x6a\x83\x85\x81\x5b\x83\x58.url"_ba << QString() << u"ニュース"_s;
    QTest::newRow("device name") << "con.url"_ba << QString() << u"con"_s;
    QTest::newRow("device name with a dot") << "aux.news.url"_ba << QString() << u"aux.news"_s;
    QTest::newRow("folder path as a plain prefix")
        << "afile-extra.url"_ba << u"afile"_s << u"afile-extra"_s;
}

// The file the listing found is read, checked, saved and given its error text, in place,
// over two runs: no second file appears.
void tst_frmMain_CheckRun::listedFileIsCheckedAndWrittenInPlace()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, prefix);
    QFETCH(QString, title);
    TestHttpServer server;
    QVERIFY(server.listen());
    server.setHandler([](const QByteArray&, int hit) {
        TestResponse garbage;
        garbage.raw = "not HTTP\r\n\r\n";
        return hit == 1 ? Page("page", LastModified) : garbage;
    });
    TestProgramFolder folder;
    auto window = idleWindow();
    frmMainProbe probe(*window);
    WriteAll(folder.ini(), "[Option]\r\nExitAfterSave=0\r\nFolderPath=" +
                               (folder.itemFolder() + prefix).toUtf8() + "\r\n");
    const QByteArray path = QFile::encodeName(folder.itemFolder()) + name;
    WriteNative(path, "[InternetShortcut]\r\nURL=" + server.url(u"/p"_s).toUtf8() +
                          "\r\n[SiteVigil]\r\nErr=0\r\nInfo=old\r\nCheck2Byte=0\r\n");
    QSignalSpy unloaded(window.get(), &frmMain::Unloaded);

    probe.LoadItems();
    QVERIFY(WaitForRunEnd(*window, unloaded));
    QCOMPARE(Lines(probe.lstCheck()), QStringList{title});
    probe.SaveResults();
    QVERIFY(ReadNative(path).contains("\r\nInfo=" + LastModified + "\r\n"));

    probe.LoadItems(); // the page now fails: its error text goes into the same file
    QVERIFY(WaitForRunEnd(*window, unloaded));
    QVERIFY(ReadNative(path).contains("\r\nInfo=" + CodePage::ToAnsi(u"エラー:"_s)));
    QCOMPARE(NativeNames(folder.itemFolder()), QList<QByteArray>{name});
    QVERIFY2(msgBox.messages.isEmpty(), qPrintable(msgBox.messages.join(u'\n')));
}

// A link to a file outside the folder and a file of 2 MB are never written, by the run's error
// path nor by a Save; the end of the run names both, once.
void tst_frmMain_CheckRun::linkOutsideAndHugeFileLeftAlone()
{
    TestHttpServer server;
    QVERIFY(server.listen());
    server.setResponse(u"/good"_s, Page("next page"));
    TestProgramFolder folder(0);
    auto window = idleWindow();
    frmMainProbe probe(*window);
    folder.writeItem(MakeItem(u"1 good"_s, server.url(u"/good"_s), 0, u"1"_s));
    const QString notes = folder.path() + u"notes.txt"_s;
    const QByteArray notesText = "my notes\nsecond line\n";
    WriteAll(notes, notesText);
    QVERIFY(QFile::link(notes, folder.itemPath(u"2 link"_s)));
    const QByteArray huge = "[InternetShortcut]\r\nURL=" + server.url(u"/good"_s).toLatin1() +
                            QByteArray(2'000'000, '\n');
    WriteAll(folder.itemPath(u"3 huge"_s), huge);
    QSignalSpy unloaded(window.get(), &frmMain::Unloaded);
    probe.LoadItems();
    QVERIFY(WaitForRunEnd(*window, unloaded));
    probe.SaveResults();

    QCOMPARE(Lines(probe.lstCheck()), QStringList{u"1 good"_s});
    QCOMPARE(server.hits(u"/good"_s), 1); // the huge file's address is never read
    QCOMPARE(ReadAll(notes), notesText);
    QVERIFY(QFileInfo(folder.itemPath(u"2 link"_s)).isSymLink());
    QVERIFY(ReadAll(folder.itemPath(u"3 huge"_s)) == huge);
    QCOMPARE(msgBox.messages.size(), 1);
    const QString told = msgBox.messages.first();
    QVERIFY2(told.count(u"「2 link」"_s) == 1 && told.contains(u"notes.txt"_s) &&
                 told.count(u"「3 huge」"_s) == 1 && told.contains(u"大きすぎます"_s),
             qPrintable(told));
}

QTEST_MAIN(tst_frmMain_CheckRun)
#include "tst_frmMain_CheckRun.moc"
