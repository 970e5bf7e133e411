#pragma once
// Opens an address in the user's browser through the platform's opener program (xdg-open,
// open) and watches it. The desktop's own "open URL" call answers true as soon as the
// opener starts, so an opener that then fails (no browser set up) would count as opened.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

class QProcess;

class BrowserLauncher final : public QObject
{
    Q_OBJECT
public:
    // How long an opener may take to fail; one still running after it has opened the page
    // (xdg-open may stay in the foreground as long as the browser runs).
    static constexpr int GraceMs = 3000;

    // The opener of this platform; empty where the caller opens addresses by another road.
    static QString OpenerProgram();

    explicit BrowserLauncher(QObject* parent = nullptr) : QObject(parent) {}
    ~BrowserLauncher() override;

    // Starts the opener for url; Finished follows once, never from inside Open.
    void Open(const QUrl& url);

    // Openers started and not yet ended. They are never killed: the browser belongs to the user.
    static int RunningOpeners();
    // Test seam: the grace in ms; 0 restores GraceMs.
    static void SetGraceForTesting(int ms);

signals:
    // opened false: message says why, for the user.
    void Finished(bool opened, const QString& message);

private:
    void Finish(bool opened, const QString& message);

    QPointer<QProcess> process;
    bool finished = false;
};
