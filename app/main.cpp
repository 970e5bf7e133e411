// SiteVigil: watches web pages for changes.
#include "app/DesktopNotifier.h"
#include "app/SessionBus.h"
#include "app/StartOptions.h"
#include "app/frmMain.h"
#include <QApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>
#include <csignal>
#include <cstdio>
#if SITEVIGIL_XCB
#include <xcb/xcb.h>
#endif

namespace
{

// The interface is Japanese throughout, including Qt's own buttons and error texts.
void UseJapanese(QTranslator& qtTranslator)
{
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    if (qtTranslator.load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTranslator);
}

// Whether a window system answers. Asked before QApplication, which aborts without one; a
// platform named in QT_QPA_PLATFORM is taken as the user's choice.
bool DisplayAnswers()
{
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return true;
    const QString wayland = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (!wayland.isEmpty()) {
        const QString socket = wayland.startsWith(u'/')
                                   ? wayland
                                   : qEnvironmentVariable("XDG_RUNTIME_DIR") + u'/' + wayland;
        if (QFileInfo(socket).exists())
            return true;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return false;
#if SITEVIGIL_XCB
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool answers = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return answers;
#else
    return true;
#endif
}

// Waits a notification sent at the very end, so that it reaches the service, but never long.
constexpr int NotificationWaitMs = 3000;

} // namespace

int main(int argc, char* argv[])
{
    // A write past the file-size limit fails with EFBIG and is reported, instead of ending
    // the program.
    std::signal(SIGXFSZ, SIG_IGN);
    QCoreApplication::setApplicationName(QStringLiteral("SiteVigil"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SITEVIGIL_VERSION));

    StartOptions options;
    {
        // Read before any window system is needed, so that --help works without a display.
        QCoreApplication core(argc, argv);
        QTranslator qtTranslator;
        UseJapanese(qtTranslator);
        options = ParseStartOptions(QCoreApplication::arguments());
        if (options.exitNow) {
            std::fputs(options.output.toLocal8Bit().constData(), stdout);
            std::fputs(options.error.toLocal8Bit().constData(), stderr);
            return options.exitCode;
        }
    }

    SessionBus::ForgetIfSilent();
    const bool display = DisplayAnswers();
    if (!display && options.mode != StartMode::Background) {
        std::fputs("SiteVigil: 画面に接続できません (DISPLAY も WAYLAND_DISPLAY も使えません)。\n"
                   "ウィンドウなしで確認するだけなら --background を付けて起動してください。\n",
                   stderr);
        return 1;
    }
    // The unattended check needs no window system at all.
    if (!display)
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/resources/icons/sitevigil.png")));
    QTranslator qtTranslator;
    UseJapanese(qtTranslator);

    frmMain w(options.mode, display);
    QObject::connect(
        &w, &frmMain::Unloaded, &app,
        [&w] {
            const DesktopNotifier* notifier = w.Notifier();
            if (!notifier->Pending()) {
                QCoreApplication::quit();
                return;
            }
            QObject::connect(notifier, &DesktopNotifier::Settled, qApp, &QCoreApplication::quit);
            QTimer::singleShot(NotificationWaitMs, qApp, &QCoreApplication::quit);
        },
        Qt::QueuedConnection);
    if (options.mode != StartMode::Background)
        w.show();
    return QApplication::exec();
}
