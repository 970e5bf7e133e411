#include "check/BrowserLauncher.h"

#include <QProcess>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace
{
int running = 0;
int graceMs = 0;
} // namespace

QString BrowserLauncher::OpenerProgram()
{
#if defined(Q_OS_WIN)
    return {};
#elif defined(Q_OS_MACOS)
    return u"open"_s;
#else
    return u"xdg-open"_s;
#endif
}

BrowserLauncher::~BrowserLauncher()
{
    // One that runs is left to end by itself; one never started or already ended goes now.
    if (process && process->state() == QProcess::NotRunning)
        delete process;
}

int BrowserLauncher::RunningOpeners()
{
    return running;
}

void BrowserLauncher::SetGraceForTesting(int ms)
{
    graceMs = ms;
}

void BrowserLauncher::Open(const QUrl& url)
{
    if (process || finished)
        return;
    const QString program = OpenerProgram();
    const QString address = QString::fromLatin1(url.toEncoded());
    // A leading '-' would reach the opener as an option.
    if (url.isEmpty() || !url.isValid() || address.startsWith(u'-') || program.isEmpty()) {
        QTimer::singleShot(0, this, [this] { Finish(false, u"アドレスが正しくありません。"_s); });
        return;
    }

    auto* p = new QProcess; // no parent: it may outlive this object and the window
    process = p;
    ++running;
    connect(p, &QObject::destroyed, [] { --running; });
    p->setStandardInputFile(QProcess::nullDevice());
    p->setStandardOutputFile(QProcess::nullDevice());
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(p, &QProcess::finished, p, &QObject::deleteLater);
    connect(p, &QProcess::errorOccurred, p, [p](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            p->deleteLater();
    });
    connect(p, &QProcess::errorOccurred, this, [this, program](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            Finish(false, u"「%1」を起動できません。"_s.arg(program));
    });
    connect(p, &QProcess::finished, this,
            [this, program, local = url.isLocalFile()](int exitCode, QProcess::ExitStatus status) {
                const QString viewer =
                    local ? u"このファイルを表示するプログラム"_s : u"既定のブラウザ"_s;
                if (status == QProcess::NormalExit && exitCode == 0)
                    Finish(true, {});
                else if (status == QProcess::NormalExit)
                    Finish(false, u"「%1」が終了コード %2 で終了しました。"
                                  u"%3が設定されていないのかもしれません。"_s.arg(
                                      program, QString::number(exitCode), viewer));
                else
                    Finish(false, u"「%1」が異常終了しました。"_s.arg(program));
            });
    // Started from the event loop, so that no outcome is reported from inside Open.
    QTimer::singleShot(0, this, [this, p, program, address] {
        p->start(program, {address});
        QTimer::singleShot(graceMs > 0 ? graceMs : GraceMs, this, [this] { Finish(true, {}); });
    });
}

void BrowserLauncher::Finish(bool opened, const QString& message)
{
    if (finished)
        return;
    finished = true;
    emit Finished(opened, message);
}
