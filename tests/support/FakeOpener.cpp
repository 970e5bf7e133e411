#include "support/FakeOpener.h"
#include "check/BrowserLauncher.h"
#include "support/TestProgramFolder.h"

#include <QFile>
#include <signal.h>

using namespace Qt::StringLiterals;

FakeOpener::FakeOpener() : oldPath(qgetenv("PATH"))
{
    const QString script = dir.path() + u'/' + BrowserLauncher::OpenerProgram();
    WriteAll(script, "#!/bin/sh\n"
                     "d=$(dirname \"$0\")\n"
                     "printf '%s\\n' \"$1\" >> \"$d/opened\"\n"
                     "s=$(cat \"$d/sleep\" 2>/dev/null)\n"
                     "if [ -n \"$s\" ] && [ \"$s\" != 0 ]; then\n"
                     "  echo $$ >> \"$d/pids\"; exec sleep \"$s\"\n"
                     "fi\n"
                     "exit \"$(cat \"$d/exit\" 2>/dev/null || echo 0)\"\n");
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("PATH", QFile::encodeName(dir.path()) + ':' + oldPath);
}

FakeOpener::~FakeOpener()
{
    killRunning();
    qputenv("PATH", oldPath);
}

void FakeOpener::setExitCode(int code) const
{
    WriteAll(dir.path() + u"/exit"_s, QByteArray::number(code));
}

void FakeOpener::setSleepSeconds(int seconds) const
{
    WriteAll(dir.path() + u"/sleep"_s, QByteArray::number(seconds));
}

QStringList FakeOpener::opened() const
{
    return QString::fromUtf8(ReadAll(dir.path() + u"/opened"_s)).split(u'\n', Qt::SkipEmptyParts);
}

void FakeOpener::clear() const
{
    QFile::remove(dir.path() + u"/opened"_s);
}

void FakeOpener::killRunning() const
{
    for (const QByteArray& pid : ReadAll(dir.path() + u"/pids"_s).split('\n'))
        if (pid.toInt() > 0)
            ::kill(pid.toInt(), SIGKILL);
    QFile::remove(dir.path() + u"/pids"_s);
}
