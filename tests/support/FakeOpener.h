#pragma once
// Stands in for the platform's browser opener, first on PATH while it lives: it notes each
// address it is given, then exits with the set code, or sleeps first when asked to.
#include <QByteArray>
#include <QStringList>
#include <QTemporaryDir>

class FakeOpener final
{
public:
    FakeOpener();
    ~FakeOpener(); // kills what still runs, puts PATH back
    FakeOpener(const FakeOpener&) = delete;
    FakeOpener& operator=(const FakeOpener&) = delete;

    void setExitCode(int code) const;
    void setSleepSeconds(int seconds) const; // 0: no sleep
    QStringList opened() const;              // the addresses, in order
    void clear() const;
    void killRunning() const; // the openers still running end; returns at once

private:
    QTemporaryDir dir;
    QByteArray oldPath;
};
