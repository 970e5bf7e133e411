// The window's kept pages and change view; what they hold is tested in tst_RunResults.
#include "check/KeptPages.h"
#include "support/FakeOpener.h"
#include "support/TestHttpServer.h"
#include "support/TestProgramFolder.h"
#include "support/WindowTesting.h"
#include "support/frmMainProbe.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace
{

// A shop page; the price line differs between versions, the rest stays.
QByteArray shopPage(const QString& price, const QByteArray& charsetMeta = {})
{
    return "<html><head>" + charsetMeta +
           "<title>店</title><style>p{color:red}</style><script>var s=\"<b>x</b>\";</script>"
           "</head><body><h1>商品</h1><!-- 在庫 --><p>りんご</p><p>みかん</p><p>価格 <b>" +
           price.toUtf8() +
           "</b>円</p><p>送料無料</p><p>在庫あり</p><p>a</p><p>b</p></body></html>";
}

TestResponse response(const QByteArray& type, const QByteArray& body, const QByteArray& modified,
                      int status = 200)
{
    TestResponse r;
    r.status = status;
    r.headers.append({"Content-Type", type});
    if (!modified.isEmpty())
        r.headers.append({"Last-Modified", modified});
    r.body = body;
    return r;
}

} // namespace

class tst_frmMain_Changes final : public QObject
{
    Q_OBJECT

private:
    MsgBoxCapture msgBox;
    FakeOpener opener;
    TestHttpServer* server = nullptr;
    std::unique_ptr<QTemporaryDir> dataHome;
    std::unique_ptr<TestProgramFolder> folder;
    std::unique_ptr<frmMain> window;

    QString keptPath(const QString& url) const
    {
        return KeptPages::DefaultFolder() + KeptPages::FileName(url);
    }
    void keep(const QString& url, const QByteArray& file) const
    {
        QVERIFY(QDir().mkpath(KeptPages::DefaultFolder()));
        WriteAll(keptPath(url), file);
    }
    // Runs the window over the items written, to its end.
    void run()
    {
        window = std::make_unique<frmMain>();
        QSignalSpy unloaded(window.get(), &frmMain::Unloaded);
        QVERIFY(WaitForRunEnd(*window, unloaded));
    }

private slots:
    void initTestCase()
    {
        server = new TestHttpServer(this);
        QVERIFY(server->listen());
    }
    void init()
    {
        dataHome = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome->path()));
        folder = std::make_unique<TestProgramFolder>(0);
        msgBox.messages.clear();
        opener.setExitCode(0);
    }
    void cleanup()
    {
        window.reset();
        folder.reset();
    }

    void keptPage_data();
    void keptPage();
    void view_data();
    void view();
    void unwritableStore();
    void storeAfterRun_data();
    void storeAfterRun();
};

void tst_frmMain_Changes::keptPage_data()
{
    QTest::addColumn<QString>("info"); // "1": changed; "12": unchanged ("hello world!")
    QTest::addColumn<bool>("keptBefore");
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("newKept"); // else the kept page before stays byte for byte
    // Browse saves as Save does (tst_frmMain_Results); what is kept when: tst_RunResults.
    QTest::newRow("Save") << u"1"_s << true << u"Save"_s << true;
}

void tst_frmMain_Changes::keptPage()
{
    QFETCH(QString, info);
    QFETCH(bool, keptBefore);
    QFETCH(QString, action);
    QFETCH(bool, newKept);
    const QString url = server->url(u"/"_s + PathTag());
    server->setResponse(u"/"_s + PathTag(), response("text/plain", "hello world!", {}));
    folder->writeItem(MakeItem(u"page"_s, url, 0, info));
    const QByteArray before = KeptPages::Encode({url, "text/plain", "hello"});
    if (keptBefore)
        keep(url, before);

    run();
    frmMainProbe probe(*window);
    if (!action.isEmpty()) {
        probe.lstCheck()->setCurrentRow(0);
        probe.tbrCheck_ButtonClick(probe.tbrCheckButton(action == u"Save"_s ? 1 : 2));
    }
    probe.runResults()->Kept().WaitIdle();
    const QByteArray file = ReadAll(keptPath(url));
    if (!newKept) {
        QCOMPARE(file, before);
        return;
    }
    const std::optional<KeptPage> kept = KeptPages::DecodeFor(url, file);
    QVERIFY(kept);
    QCOMPARE(kept->body, "hello world!");
    QCOMPARE(kept->contentType, "text/plain");
    QCOMPARE(QFile::permissions(keptPath(url)) & 0x0077, QFile::Permissions());
}

void tst_frmMain_Changes::view_data()
{
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("kept"); // the kept file; empty: none
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("shown"); // after the URL

    const QStringList priceDiff{
        u"Last-modified: A → B"_s, QString(),          u" 商品"_s,     u" りんご"_s,   u" みかん"_s,
        u"-価格 1,000円"_s,        u"+価格 1,200円"_s, u" 送料無料"_s, u" 在庫あり"_s, u" a"_s};
    const QByteArray utf8 = "text/html; charset=utf-8";
    QTest::newRow("UTF-8 price") << utf8 << KeptPages::Encode({{}, utf8, shopPage(u"1,000"_s)})
                                 << shopPage(u"1,200"_s) << 200 << priceDiff;
}

// The selected line shows its page's change; the line itself tells its page to screen readers.
void tst_frmMain_Changes::view()
{
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, kept);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(QStringList, shown);
    const bool byDate = shown.first().startsWith(u"Last-modified"_s);
    const QString url = server->url(u"/"_s + PathTag());
    server->setResponse(u"/"_s + PathTag(), response(type, body, byDate ? "B" : "", status));
    folder->writeItem(MakeItem(u"page"_s, url, 0, byDate ? u"A"_s : u"1"_s));
    if (!kept.isEmpty()) {
        // The URL inside a whole file is this row's.
        const auto page = KeptPages::Decode(kept);
        keep(url, page ? KeptPages::Encode({url, page->contentType, page->body}) : kept);
    }

    run();
    frmMainProbe probe(*window);
    QPlainTextEdit* view = probe.txtChange();
    QCOMPARE(view->toPlainText(), QString());
    probe.lstCheck()->setCurrentRow(0);
    QCOMPARE(view->toPlainText().split(u'\n'), QStringList{url} + shown);
    const QString tells = url + u'\n' + shown.first();
    QCOMPARE(probe.lstCheck()->item(0)->toolTip(), tells);
    QCOMPARE(probe.lstCheck()->item(0)->data(Qt::AccessibleDescriptionRole).toString(), tells);
    QCOMPARE(probe.lstCheck()->item(0)->text(), u"page"_s);
    QCOMPARE(view->accessibleName(), u"変更点"_s);
    QVERIFY(view->isReadOnly() && view->focusPolicy() & Qt::TabFocus);
    QCOMPARE(window->findChild<QLabel*>(u"lblChange"_s)->buddy(), view);

    if (const QByteArray shot = qgetenv("SITEVIGIL_SCREENSHOT");
        !shot.isEmpty() && QTest::currentDataTag() == "UTF-8 price"_ba) {
        window->resize(520, 520);
        window->grab().save(QString::fromLocal8Bit(shot));
    }
}

// Pages kept or not, the run, its Save and the item files are the same byte for byte; with no
// line selected the view lists the pages that ended in error.
void tst_frmMain_Changes::unwritableStore()
{
    server->setResponse(u"/changed"_s, response("text/plain", "new text", {}));
    server->setResponse(u"/same"_s, response("text/plain", "same", {}));
    const QString broken = u"http://127.0.0.1:%1/"_s.arg(ClosedPort());
    QList<QList<QByteArray>> files;
    QStringList views;
    for (const bool writable : {true, false}) {
        folder.reset(); // before the next one: its end resets the program folder
        folder = std::make_unique<TestProgramFolder>(0);
        if (!writable) // the data folder's place is taken by a file
            WriteAll(dataHome->path() + u"/"_s + QCoreApplication::applicationName(), "x");
        folder->writeItem(MakeItem(u"1 changed"_s, server->url(u"/changed"_s), 0, u"1"_s));
        folder->writeItem(MakeItem(u"2 same"_s, server->url(u"/same"_s), 0, u"4"_s));
        folder->writeItem(MakeItem(u"3 broken"_s, broken, 0, u"1"_s));
        run();
        frmMainProbe probe(*window);
        views << probe.txtChange()->toPlainText();
        probe.tbrCheck_ButtonClick(probe.tbrCheckButton(1));
        probe.runResults()->Kept().WaitIdle();
        QCOMPARE(Lines(probe.lstCheck()), QStringList{u"1 changed"_s});
        QCOMPARE(window->windowTitle(), FinishedCaption);
        QCOMPARE(QDir(KeptPages::DefaultFolder()).exists(), writable);
        files.append(QList<QByteArray>());
        for (const QString& title : {u"1 changed"_s, u"2 same"_s, u"3 broken"_s})
            files.last().append(ReadAll(folder->itemPath(title)));
        window.reset();
        QDir(dataHome->path() + u"/"_s + QCoreApplication::applicationName()).removeRecursively();
    }
    QCOMPARE(files.at(1), files.at(0));
    QCOMPARE(views.at(1), views.at(0));
    QVERIFY(views.at(0).startsWith(u"エラーになったページ:\n\n3 broken\n"_s + broken + u'\n'));
    QVERIFY(msgBox.messages.isEmpty());
}

void tst_frmMain_Changes::storeAfterRun_data()
{
    QTest::addColumn<bool>("compareText");
    QTest::addColumn<qint64>("cap");
    QTest::newRow("a cache") << false << KeptPages::DefaultCapBytes;
    QTest::newRow("baselines beyond the cap") << true << qint64(1);
}

// After a whole run the page of a URL no item has is gone; as baselines, the unchanged item's
// page is kept beyond the cap, and the Setting pane says so once.
void tst_frmMain_Changes::storeAfterRun()
{
    QFETCH(bool, compareText);
    QFETCH(qint64, cap);
    if (compareText)
        WriteAll(folder->ini(), ReadAll(folder->ini()) + "CompareText=1\r\n");
    window = std::make_unique<frmMain>(); // no items yet: no run
    frmMainProbe probe(*window);
    probe.runResults() =
        std::make_unique<RunResults>(std::make_unique<KeptPages>(KeptPages::DefaultFolder(), cap));
    server->setResponse(u"/changed"_s, response("text/plain", "new text", {}));
    server->setResponse(u"/same"_s, response("text/plain", "same", {}));
    folder->writeItem(MakeItem(u"1 changed"_s, server->url(u"/changed"_s), 0, u"1"_s));
    folder->writeItem(MakeItem(u"2 same"_s, server->url(u"/same"_s), 0, u"4"_s));
    const QString orphan = u"http://127.0.0.1/no-item"_s;
    keep(orphan, KeptPages::Encode({orphan, "text/plain", "old"}));
    QTest::qWait(10);

    QSignalSpy unloaded(window.get(), &frmMain::Unloaded);
    probe.LoadItems();
    QVERIFY(WaitForRunEnd(*window, unloaded));
    probe.runResults()->Kept().WaitIdle();
    QVERIFY(!QFile::exists(keptPath(orphan)));
    QVERIFY(QFile::exists(keptPath(server->url(u"/same"_s))));
    const auto* notice = window->findChild<QLabel*>(u"lblSettingNotice"_s);
    for (const bool first : {true, false}) {
        probe.ShowSettingPane();
        QCOMPARE(notice->text().contains(u"比較の基準"_s), compareText && first);
    }
}

QTEST_MAIN(tst_frmMain_Changes)
#include "tst_frmMain_Changes.moc"
