// SiteVigil: watches web pages for changes.
#include "app/DesktopNotifier.h"
#include "app/SessionBus.h"
#include "app/StartOptions.h"
#include "app/frmMain.h"
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>
#include <csignal>
#include <cstdio>

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
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/resources/icons/sitevigil.png")));
    QTranslator qtTranslator;
    UseJapanese(qtTranslator);

    frmMain w(options.mode);
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
