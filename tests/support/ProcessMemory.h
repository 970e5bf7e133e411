#pragma once
// Resident memory of this process, from /proc/self/status (Linux), for memory bounds in tests
// and the figures of benchmarks.
#include <QObject>
#include <QTimer>
#include <QtGlobal>

namespace ProcessMemory
{
// Under AddressSanitizer freed memory stays resident in its quarantine, so the resident size
// says little about the program's own use: memory bounds are not checked there.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool BoundsMeaningful = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool BoundsMeaningful = false;
#else
constexpr bool BoundsMeaningful = true;
#endif
#else
constexpr bool BoundsMeaningful = true;
#endif
// The field of /proc/self/status in KiB ("VmRSS", "VmHWM"); -1 when it cannot be read.
qint64 StatusKiB(const char* field);
inline qint64 RssKiB()
{
    return StatusKiB("VmRSS");
}
inline qint64 PeakKiB()
{
    return StatusKiB("VmHWM");
}
// Starts VmHWM afresh from the current VmRSS; false where the kernel does not allow it.
bool ResetPeak();
} // namespace ProcessMemory

// Samples VmRSS on the event loop while it runs, keeping the largest value and every sample.
class RssSampler final : public QObject
{
public:
    explicit RssSampler(int intervalMs, QObject* parent = nullptr);
    void start();
    void stop();
    void sampleNow();
    qint64 maxKiB() const { return max_; }
    const QList<qint64>& samples() const { return samples_; }

private:
    QTimer timer_{this};
    qint64 max_ = 0;
    QList<qint64> samples_;
};
