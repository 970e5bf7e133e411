// SiteVigil: watches web pages for changes. Takes no command line and reads no environment.
#include "app/frmMain.h"
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <csignal>

int main(int argc, char* argv[])
{
    // A write past the file-size limit fails with EFBIG and is reported, instead of ending
    // the program.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("SiteVigil"));
    QApplication::setApplicationVersion(QStringLiteral(SITEVIGIL_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/resources/icons/sitevigil.png")));

    // The interface is Japanese throughout, including Qt's own buttons and error texts.
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"),
                          QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);

    frmMain w;
    QObject::connect(&w, &frmMain::Unloaded, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    w.show();
    return QApplication::exec();
}
