#include "ProcessMemory.h"

#include <QFile>
#include <QList>

#include <algorithm>

namespace ProcessMemory
{

qint64 StatusKiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    // /proc files report a size of 0: read until the end rather than by size.
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray& line : lines) {
        if (line.startsWith(prefix)) {
            const QList<QByteArray> parts = line.mid(prefix.size()).simplified().split(' ');
            bool ok = false;
            const qint64 value = parts.value(0).toLongLong(&ok);
            return ok ? value : -1;
        }
    }
    return -1;
}

bool ResetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

} // namespace ProcessMemory

RssSampler::RssSampler(int intervalMs, QObject* parent) : QObject(parent)
{
    timer_.setInterval(intervalMs);
    connect(&timer_, &QTimer::timeout, this, &RssSampler::sampleNow);
}

void RssSampler::start()
{
    sampleNow();
    timer_.start();
}

void RssSampler::stop()
{
    timer_.stop();
    sampleNow();
}

void RssSampler::sampleNow()
{
    const qint64 rss = ProcessMemory::RssKiB();
    samples_.append(rss);
    max_ = std::max(max_, rss);
}
