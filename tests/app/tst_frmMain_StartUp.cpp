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
#include <QFileInfo>
#include <QListWidget>
#include <QLocalServer>
#include <QProcess>
#include <QStandardPaths>
#include <QTabBar>
#include <QTemporaryDir>
#include <QtTest>
#include <unistd.h>

using namespace Qt::StringLiterals;

// A desktop's notification service on the test's own bus: records each Notify's arguments
// (app name, replaces id, icon, summary, body, actions, hints, timeout).
class FakeNotifications final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QList<QVariantList> calls;
public slots:
    uint Notify(const QString& app, uint, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int)
    {
        calls.append({app, icon, summary, body, actions, hints});
        return uint(calls.size());
    }
};

// Whether the results were enabled when the window first appeared, and how often it did.
class ShowWatch final : public QObject
{
public:
    explicit ShowWatch(QListWidget* results) : results(results) {}
    QListWidget* results;
    int shows = 0;
    bool resultsEnabled = false;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Show && shows++ == 0)
            resultsEnabled = results->isEnabled();
        return false;
    }
};

class tst_frmMain_StartUp final : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestProgramFolder> program;
    std::unique_ptr<TestHttpServer> server;
    std::unique_ptr<MsgBoxCapture> capture;
    QTemporaryDir runtime; // an XDG_RUNTIME_DIR with no bus in it
    QProcess bus;
    QString busAddress;

    // Items stored with a size of 1: "/same" answers 1 character, "/changed" 5, "refused" fails.
    void AddItems(int count, const QString& path)
    {
        const QString url =
            path == u"refused"_s ? u"http://127.0.0.1:%1/"_s.arg(ClosedPort()) : server->url(path);
        for (int i = 0; i < count; ++i)
            program->writeItem(MakeItem(u"P%1"_s.arg(i, 2, 10, QChar(u'0')), url, 0, u"1"_s));
    }
    static constexpr StartMode hiddenMode = StartMode::Background;
    static void UseBus(const QString& address)
    {
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    }

private slots:
    void initTestCase()
    {
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
        const QString daemon = QStandardPaths::findExecutable(u"dbus-daemon"_s);
        if (daemon.isEmpty())
            return;
        // Nothing on this machine offers notifications for the bus to start.
        // Its socket goes into the test's own folder, which goes with the test.
        bus.start(daemon, {u"--session"_s, u"--print-address"_s, u"--nofork"_s,
                           u"--address=unix:dir="_s + runtime.path()});
        QVERIFY(bus.waitForReadyRead(5000));
        busAddress = QString::fromUtf8(bus.readLine()).trimmed();
    }
    void cleanupTestCase()
    {
        // Ended, not killed, so that it removes what it made.
        bus.terminate();
        QVERIFY(bus.waitForFinished(5000));
    }
    void init()
    {
        UseBus(QString());
        program = std::make_unique<TestProgramFolder>();
        server = std::make_unique<TestHttpServer>();
        QVERIFY(program->isValid() && server->listen());
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

    // The program itself, started from its folder as a desktop or a timer starts it.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("requests");
        QTest::addColumn<bool>("silentBus"); // a session bus that accepts and never answers
        QTest::newRow("unknown option") << QStringList{u"--bogus"_s} << 2 << 0 << false;
        QTest::newRow("stray argument") << QStringList{u"page"_s} << 2 << 0 << false;
        QTest::newRow("background, nothing changed")
            << QStringList{u"--background"_s} << 0 << 1 << false;
        // The page that fails is notified, over the bus that never answers.
        QTest::newRow("background, a silent bus")
            << QStringList{u"--background"_s} << 0 << 1 << true;
    }
    // Runs the program from its folder as a desktop or a timer starts it; env changes the
    // test's own environment (an empty value removes the variable).
    void RunProgram(QProcess& run, const QStringList& arguments,
                    const QList<std::pair<QString, QString>>& env)
    {
        const QString copy = program->path() + u"SiteVigil"_s;
        if (!QFileInfo::exists(copy) &&
            ::link(SITEVIGIL_PROGRAM, QFile::encodeName(copy).constData()) != 0)
            QVERIFY(QFile::copy(QStringLiteral(SITEVIGIL_PROGRAM), copy));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString& name :
             {u"DBUS_SESSION_BUS_ADDRESS"_s, u"http_proxy"_s, u"all_proxy"_s, u"ALL_PROXY"_s})
            environment.remove(name);
        for (const auto& [name, value] : env) {
            if (value.isEmpty())
                environment.remove(name);
            else
                environment.insert(name, value);
        }
        run.setProcessEnvironment(environment);
        run.start(copy, arguments);
        // Not waitForFinished: the test server (and the notification service) answer from
        // this event loop.
        QVERIFY(QTest::qWaitFor([&] { return run.state() == QProcess::NotRunning; }, 20000));
        QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(int, requests);
        QFETCH(bool, silentBus);
        AddItems(1, u"/same"_s);
        QLocalServer silent;
        QList<std::pair<QString, QString>> env{{u"QT_QPA_PLATFORM"_s, u"offscreen"_s}};
        if (silentBus) {
            QVERIFY(silent.listen(runtime.filePath(u"silent-bus"_s)));
            program->writeItem(
                MakeItem(u"Refused"_s, u"http://127.0.0.1:%1/"_s.arg(ClosedPort()), 0, u"1"_s));
            env.append({u"DBUS_SESSION_BUS_ADDRESS"_s, u"unix:path="_s + silent.fullServerName()});
        }
        QProcess run;
        RunProgram(run, arguments, env);
        QCOMPARE(run.exitCode(), exitCode);
        QCOMPARE(server->totalRequests(), requests);
        QCOMPARE(run.readAllStandardError().isEmpty(), exitCode == 0);
    }

    // No window system (a timer under a user manager without the desktop): the background
    // check still runs, and ends with its notification; a window start says why it cannot.
    void noDisplay_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("display"); // DISPLAY; empty: not set
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("notifications");
        const QStringList background{u"--background"_s};
        QTest::newRow("background, nothing changed")
            << background << QString() << u"/same"_s << 0 << 0;
        QTest::newRow("background, changed") << background << QString() << u"/changed"_s << 0 << 1;
        QTest::newRow("background, changed, X server gone")
            << background << u":4711"_s << u"/changed"_s << 0 << 1;
        QTest::newRow("window") << QStringList() << QString() << u"/changed"_s << 1 << 0;
        QTest::newRow("settings") << QStringList{u"--settings"_s} << u":4711"_s << u"/changed"_s
                                  << 1 << 0;
    }
    // Serves fake as the notification service on the test bus, over a connection named for
    // the row; empty when the bus refused it.
    QString ServeNotifications(FakeNotifications& fake)
    {
        const QString name = QString::fromUtf8(QTest::currentDataTag());
        QDBusConnection service = QDBusConnection::connectToBus(busAddress, name);
        if (!service.registerObject(u"/org/freedesktop/Notifications"_s, &fake,
                                    QDBusConnection::ExportAllSlots) ||
            !service.registerService(u"org.freedesktop.Notifications"_s))
            return QString();
        return name;
    }

    void noDisplay()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, display);
        QFETCH(QString, path);
        QFETCH(int, exitCode);
        QFETCH(int, notifications);
        if (busAddress.isEmpty())
            QSKIP("dbus-daemon is not installed");
        FakeNotifications fake;
        const QString name = ServeNotifications(fake);
        QVERIFY(!name.isEmpty());
        AddItems(2, path);
        const QByteArray before = ReadAll(program->itemPath(u"P01"_s));

        QProcess run;
        RunProgram(run, arguments,
                   {{u"QT_QPA_PLATFORM"_s, QString()},
                    {u"WAYLAND_DISPLAY"_s, QString()},
                    {u"DISPLAY"_s, display},
                    {u"DBUS_SESSION_BUS_ADDRESS"_s, busAddress}});
        const QByteArray error = run.readAllStandardError();
        QCOMPARE(run.exitCode(), exitCode);
        QVERIFY2(exitCode == 0 || error.contains("--background"), error.constData());
        QCOMPARE(server->totalRequests(), exitCode == 0 ? 2 : 0);
        // As with a display: changes are saved only when the user accepts them.
        QCOMPARE(ReadAll(program->itemPath(u"P01"_s)), before);
        QTest::qWait(50);
        QCOMPARE(fake.calls.size(), notifications);
        if (notifications > 0) {
            const QVariantList call = fake.calls.first();
            QCOMPARE(call[2].toString(), u"更新されているページがあります。"_s);
            QCOMPARE(call[3].toString(), u"P00\nP01\n\nSiteVigil を開くと一覧が表示されます。"_s);
            QCOMPARE(call[4].toStringList(), QStringList());
        }
        QDBusConnection::disconnectFromBus(name);
    }

    void settingsStart()
    {
        AddItems(1, u"/same"_s);
        frmMain w(StartMode::Settings);
        frmMainProbe p(w);
        QCOMPARE(p.tabMain()->currentIndex(), 1);
        QVERIFY(p.pctSetting()->isEnabled() && !p.pctCheck()->isEnabled());
        QCOMPARE(w.windowTitle() + Lines(p.lstSetting()).join(u' '), u"設定P00"_s);
        QTest::qWait(200);
        QCOMPARE(server->totalRequests(), 0);
        p.tabMain()->setCurrentIndex(0);
        QTRY_COMPARE(server->totalRequests(), 1);
    }

    // The end of a run: the one notification, and a hidden run's window and boxes.
    void runEnd_data()
    {
        QTest::addColumn<StartMode>("mode");
        QTest::addColumn<int>("pages");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("summary"); // empty: no notification
        QTest::addColumn<QString>("lastLine");
        const QString changed = u"更新されているページがあります。"_s;
        const QString failed = u"確認できなかったページがあります。"_s;
        const StartMode hidden = StartMode::Background;
        QTest::newRow("changed") << StartMode::Normal << 1 << u"/changed"_s << changed << u"P00"_s;
        QTest::newRow("unchanged")
            << StartMode::Normal << 1 << u"/same"_s << QString() << QString();
        QTest::newRow("errors") << StartMode::Normal << 1 << u"refused"_s << QString() << QString();
        QTest::newRow("hidden, changed") << hidden << 1 << u"/changed"_s << changed << u"P00"_s;
        QTest::newRow("hidden, unchanged") << hidden << 1 << u"/same"_s << QString() << QString();
        QTest::newRow("hidden, errors, writes failing")
            << hidden << 1 << u"refused"_s << failed << u"保存できませんでした"_s;
        QTest::newRow("hidden, no items") << hidden << 0 << QString() << QString() << QString();
    }
    void runEnd()
    {
        QFETCH(StartMode, mode);
        QFETCH(int, pages);
        QFETCH(QString, path);
        QFETCH(QString, summary);
        QFETCH(QString, lastLine);
        if (busAddress.isEmpty())
            QSKIP("dbus-daemon is not installed");
        FakeNotifications fake;
        const QString name = ServeNotifications(fake);
        QVERIFY(!name.isEmpty());
        UseBus(busAddress);
        AddItems(pages, path);
        QVERIFY(path != u"refused"_s || program->failWrites(u"P00"_s, false));

        frmMain w(mode);
        ShowWatch watch(frmMainProbe(w).lstCheck());
        w.installEventFilter(&watch);
        QSignalSpy unloaded(&w, &frmMain::Unloaded);
        QVERIFY(WaitForRunEnd(w, unloaded));
        QTRY_VERIFY(!w.Notifier()->Pending());
        QTest::qWait(100);
        const bool shown = mode == hiddenMode && path == u"/changed"_s;
        QCOMPARE(watch.shows, shown ? 1 : 0);
        QCOMPARE(watch.resultsEnabled, shown);
        QCOMPARE(capture->messages.isEmpty(), mode == hiddenMode || path != u"refused"_s);
        QCOMPARE(fake.calls.size(), summary.isEmpty() ? 0 : 1);
        if (!summary.isEmpty()) {
            const QVariantList call = fake.calls.first();
            const QString body = call[3].toString();
            QCOMPARE(call.mid(0, 3), (QVariantList{u"SiteVigil"_s, u"sitevigil"_s, summary}));
            QVERIFY2(body.startsWith(u"P00"_s) && body.contains(lastLine), qPrintable(body));
            QCOMPARE(call[5].toMap().value(u"suppress-sound"_s), QVariant(true));
            QVERIFY(call[4].toStringList().contains(u"default"_s));
            // Choosing the notification reaches the window.
            QSignalSpy activated(w.Notifier(), &DesktopNotifier::Activated);
            QDBusMessage chosen =
                QDBusMessage::createSignal(u"/org/freedesktop/Notifications"_s,
                                           u"org.freedesktop.Notifications"_s, u"ActionInvoked"_s);
            QVERIFY(QDBusConnection(name).send(chosen << uint(1) << u"default"_s));
            QVERIFY(activated.wait(5000));
        }
        QDBusConnection::disconnectFromBus(name);
    }

    // A functional bound: sending must not wait for a bus that is not there.
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
        notifier.Send(u"S"_s, u"A"_s);
        QVERIFY(!notifier.Pending());
        QCOMPARE_LT(clock.elapsed(), 1000);
    }

    void bodyIsText()
    {
        QCOMPARE(DesktopNotifier::Body({u"A&B <i>"_s, u"C"_s}), u"A&amp;B &lt;i&gt;\nC"_s);
    }

    void tabKeys_data()
    {
        QTest::addColumn<int>("key"); // 0: the wheel over the tab strip
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<int>("tab");
        const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
        QTest::newRow("Ctrl+Tab") << int(Qt::Key_Tab) << ctrl << 1;
        QTest::newRow("Ctrl+Shift+Tab") << int(Qt::Key_Backtab) << (ctrl | Qt::ShiftModifier) << 1;
        QTest::newRow("Ctrl+PgDown") << int(Qt::Key_PageDown) << ctrl << 1;
        QTest::newRow("Ctrl+PgUp") << int(Qt::Key_PageUp) << ctrl << 1;
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
