// The ways the program starts (command line, hidden runs), its desktop notification and the
// keys of the main window.
#include "app/DesktopNotifier.h"
#include "support/TestHttpServer.h"
#include "support/TestProgramFolder.h"
#include "support/WindowTesting.h"
#include "support/frmMainProbe.h"
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QListWidget>
#include <QProcess>
#include <QStandardPaths>
#include <QTabBar>
#include <QtTest>
#include <unistd.h>

using namespace Qt::StringLiterals;

// The notification service of a desktop, on a private bus: records every Notify.
class FakeNotifications final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call {
        QString appName, icon, summary, body;
        QStringList actions;
        QVariantMap hints;
    };
    QList<Call> calls;

public slots:
    uint Notify(const QString& appName, uint, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int)
    {
        calls.append({appName, icon, summary, body, actions, hints});
        return uint(calls.size());
    }
};

// Which the window shows when it first appears: whether the results were enabled by then.
class ShowWatch final : public QObject
{
public:
    ShowWatch(QWidget* window, QListWidget* results) : results(results)
    {
        window->installEventFilter(this);
    }
    int shows = 0;
    bool resultsEnabledAtShow = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Show && shows++ == 0)
            resultsEnabledAtShow = results->isEnabled();
        return false;
    }

private:
    QListWidget* results;
};

class tst_frmMain_StartUp final : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestProgramFolder> program;
    std::unique_ptr<TestHttpServer> server;
    std::unique_ptr<MsgBoxCapture> capture;
    QTemporaryDir runtime; // an XDG_RUNTIME_DIR without a bus in it
    QProcess bus;
    QString busAddress;

    void AddItems(const QStringList& titles, const QString& path)
    {
        const QString url = path == u"refused"_s
                                ? u"http://127.0.0.1:%1/"_s.arg(ClosedPort())
                                : server->url(path);
        for (const QString& title : titles)
            program->writeItem(MakeItem(title, url, 0, u"1"_s));
    }
    static void UseBus(const QString& address)
    {
        if (address.isEmpty())
            qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        else
            qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    }

private slots:
    void initTestCase()
    {
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
        const QString daemon = QStandardPaths::findExecutable(u"dbus-daemon"_s);
        if (daemon.isEmpty())
            return;
        // A bus of the test's own; nothing on this machine offers notifications to start.
        bus.start(daemon, {u"--session"_s, u"--print-address"_s, u"--nofork"_s});
        QVERIFY(bus.waitForReadyRead(5000));
        busAddress = QString::fromUtf8(bus.readLine()).trimmed();
    }
    void cleanupTestCase()
    {
        bus.kill();
        bus.waitForFinished();
    }
    void init()
    {
        UseBus(QString());
        program = std::make_unique<TestProgramFolder>();
        QVERIFY(program->isValid());
        server = std::make_unique<TestHttpServer>();
        QVERIFY(server->listen());
        server->setResponse(u"/changed"_s, Page("hello"));
        server->setResponse(u"/same"_s, Page("0"));
        capture = std::make_unique<MsgBoxCapture>();
    }
    void cleanup()
    {
        capture.reset();
        server.reset();
        program.reset();
    }

    // The program itself, started as a desktop or a timer starts it.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("requests");
        QTest::newRow("unknown option") << QStringList{u"--bogus"_s} << 2 << 0;
        QTest::newRow("stray argument") << QStringList{u"page"_s} << 2 << 0;
        QTest::newRow("background, nothing changed") << QStringList{u"--background"_s} << 0 << 1;
        QTest::newRow("version") << QStringList{u"--version"_s} << 0 << 0;
    }
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(int, requests);
        AddItems({u"A"_s}, u"/same"_s);
        // The program finds its folder through its own path: it runs from the test's folder.
        const QString copy = program->path() + u"SiteVigil"_s;
        if (::link(SITEVIGIL_PROGRAM, QFile::encodeName(copy).constData()) != 0)
            QVERIFY(QFile::copy(QStringLiteral(SITEVIGIL_PROGRAM), copy));
        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        for (const char* name : {"DBUS_SESSION_BUS_ADDRESS", "http_proxy", "HTTP_PROXY"})
            env.remove(QString::fromLatin1(name));
        run.setProcessEnvironment(env);
        run.start(copy, arguments);
        // The test server answers from this event loop.
        QVERIFY(QTest::qWaitFor([&] { return run.state() == QProcess::NotRunning; }, 20000));
        QCOMPARE(run.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.exitCode(), exitCode);
        QCOMPARE(server->totalRequests(), requests);
        QCOMPARE(run.readAllStandardError().isEmpty(), exitCode == 0);
    }

    void settingsStart()
    {
        AddItems({u"A"_s}, u"/same"_s);
        frmMain w(StartMode::Settings);
        frmMainProbe p(w);
        QCOMPARE(p.tabMain()->currentIndex(), 1);
        QVERIFY(p.pctSetting()->isEnabled() && !p.pctCheck()->isEnabled());
        QCOMPARE(w.windowTitle(), u"設定"_s);
        QCOMPARE(Lines(p.lstSetting()), QStringList{u"A"_s});
        QTest::qWait(200);
        QCOMPARE(server->totalRequests(), 0);
        p.tabMain()->setCurrentIndex(0);
        QTRY_COMPARE(server->totalRequests(), 1);
    }

    void backgroundStart_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("shown");
        QTest::newRow("nothing changed") << u"/same"_s << false;
        QTest::newRow("a page changed") << u"/changed"_s << true;
        QTest::newRow("errors, writes failing") << u"refused"_s << false;
        QTest::newRow("no items") << QString() << false;
    }
    void backgroundStart()
    {
        QFETCH(QString, path);
        QFETCH(bool, shown);
        if (!path.isEmpty())
            AddItems({u"A"_s}, path);
        if (path == u"refused"_s)
            QVERIFY(program->failWrites(u"A"_s, false));
        frmMain w(StartMode::Background);
        frmMainProbe p(w);
        ShowWatch watch(&w, p.lstCheck());
        QSignalSpy unloaded(&w, &frmMain::Unloaded);
        QVERIFY(WaitForRunEnd(w, unloaded));
        QCOMPARE(unloaded.count() == 0, shown);
        QCOMPARE(watch.shows, shown ? 1 : 0);
        QCOMPARE(watch.resultsEnabledAtShow, shown);
        QCOMPARE(capture->messages, QStringList());
    }

    void notifications_data()
    {
        QTest::addColumn<StartMode>("mode");
        QTest::addColumn<int>("pages");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("summary"); // empty: no notification
        QTest::addColumn<QString>("lastLine");
        QTest::newRow("changed") << StartMode::Normal << 1 << u"/changed"_s
                                 << u"更新されているページがあります。"_s << u"P00"_s;
        QTest::newRow("eleven changed") << StartMode::Normal << 11 << u"/changed"_s
                                        << u"更新されているページがあります。"_s << u"ほか 1 件"_s;
        QTest::newRow("unchanged") << StartMode::Normal << 1 << u"/same"_s << QString() << QString();
        QTest::newRow("errors") << StartMode::Normal << 1 << u"refused"_s << QString() << QString();
        QTest::newRow("background, errors")
            << StartMode::Background << 1 << u"refused"_s << u"確認できなかったページがあります。"_s
            << u"P00"_s;
    }
    void notifications()
    {
        QFETCH(StartMode, mode);
        QFETCH(int, pages);
        QFETCH(QString, path);
        QFETCH(QString, summary);
        QFETCH(QString, lastLine);
        if (busAddress.isEmpty())
            QSKIP("dbus-daemon is not installed");
        QDBusConnection service = QDBusConnection::connectToBus(busAddress, QString::fromUtf8(QTest::currentDataTag()));
        FakeNotifications fake;
        QVERIFY(service.registerObject(u"/org/freedesktop/Notifications"_s, &fake,
                                       QDBusConnection::ExportAllSlots));
        QVERIFY(service.registerService(u"org.freedesktop.Notifications"_s));
        UseBus(busAddress);
        QStringList titles;
        for (int i = 0; i < pages; ++i)
            titles.append(u"P%1"_s.arg(i, 2, 10, QChar(u'0')));
        AddItems(titles, path);

        frmMain w(mode);
        QSignalSpy unloaded(&w, &frmMain::Unloaded);
        QVERIFY(WaitForRunEnd(w, unloaded));
        QTRY_VERIFY(!w.Notifier()->Pending());
        QTest::qWait(100);
        QCOMPARE(fake.calls.size(), summary.isEmpty() ? 0 : 1);
        if (!summary.isEmpty()) {
            const FakeNotifications::Call& call = fake.calls.first();
            QCOMPARE(call.appName + u' ' + call.icon, u"SiteVigil sitevigil"_s);
            QCOMPARE(call.summary, summary);
            QCOMPARE(call.body.split(u'\n').first(), u"P00"_s);
            QCOMPARE(call.body.split(u'\n').size(), std::min(pages, 11));
            QCOMPARE(call.body.split(u'\n').last(), lastLine);
            QCOMPARE(call.hints.value(u"suppress-sound"_s), QVariant(true));
            QVERIFY(call.actions.contains(u"default"_s));
            // Choosing the notification reaches the window.
            QSignalSpy activated(const_cast<DesktopNotifier*>(w.Notifier()),
                                 &DesktopNotifier::Activated);
            QDBusMessage choice = QDBusMessage::createSignal(
                u"/org/freedesktop/Notifications"_s, u"org.freedesktop.Notifications"_s,
                u"ActionInvoked"_s);
            choice << uint(1) << u"default"_s;
            QVERIFY(service.send(choice));
            QVERIFY(activated.wait(5000));
        }
        QDBusConnection::disconnectFromBus(QString::fromUtf8(QTest::currentDataTag()));
    }

    void noBusNoWait_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("no bus") << QString();
        QTest::newRow("bus gone") << u"unix:path=/nonexistent/bus"_s;
    }
    void noBusNoWait()
    {
        QFETCH(QString, address);
        UseBus(address);
        DesktopNotifier notifier;
        QElapsedTimer clock;
        clock.start();
        notifier.Send(u"更新されているページがあります。"_s, u"A"_s);
        QVERIFY(!notifier.Pending());
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    }

    void tabKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<int>("tab");
        QTest::newRow("Ctrl+Tab") << int(Qt::Key_Tab) << Qt::KeyboardModifiers(Qt::ControlModifier) << 1;
        QTest::newRow("Ctrl+Shift+Tab")
            << int(Qt::Key_Backtab) << (Qt::ControlModifier | Qt::ShiftModifier) << 1;
        QTest::newRow("Ctrl+PgDown") << int(Qt::Key_PageDown) << Qt::KeyboardModifiers(Qt::ControlModifier) << 1;
        QTest::newRow("Ctrl+PgUp") << int(Qt::Key_PageUp) << Qt::KeyboardModifiers(Qt::ControlModifier) << 1;
        QTest::newRow("wheel") << 0 << Qt::KeyboardModifiers() << 0;
    }
    void tabKeys()
    {
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(int, tab);
        frmMain w;
        frmMainProbe p(w);
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        p.lstCheck()->setFocus();
        if (key != 0) {
            QTest::keyClick(p.lstCheck(), Qt::Key(key), modifiers);
        } else {
            const QPointF at = p.tabMain()->tabRect(0).center();
            QWheelEvent wheel(at, p.tabMain()->mapToGlobal(at), QPoint(), QPoint(0, -120),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(p.tabMain(), &wheel);
        }
        QCOMPARE(p.tabMain()->currentIndex(), tab);
        QCOMPARE(w.windowTitle(), tab == 1 ? u"設定"_s : u"アイテムが1つもありません。"_s);
        if (key != Qt::Key_Tab)
            return;
        // F1 is the help button (no help file here); on the Setting pane Ctrl+N is New.
        QTest::keyClick(p.lstSetting(), Qt::Key_F1);
        QCOMPARE(capture->messages.size(), 1);
        QVERIFY(capture->messages.first().contains(u"readme.txt"_s));
        bool dialogShown = false;
        QPointer<QTimer> watch = OnModal([&dialogShown](QWidget* d) {
            dialogShown = true;
            d->close();
        });
        QTest::keyClick(p.lstSetting(), Qt::Key_N, Qt::ControlModifier);
        delete watch.data();
        QVERIFY(dialogShown);
    }
};

QTEST_MAIN(tst_frmMain_StartUp)
#include "tst_frmMain_StartUp.moc"
