// Throughput of the CP932 conversions on 64 KiB page bodies, as the check run uses them.
#include "app/CodePage.h"
#include "app/Module1.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace
{

QByteArray body(double japaneseShare)
{
    const QByteArray ascii = "<p class=\"news\"><a href=\"/x/y.html\">link</a></p>\r\n"_ba;
    const QByteArray japanese = CodePage::ToAnsi(u"新着情報：本日の更新はありません。ｶﾀｶﾅ"_s);
    QByteArray out;
    double share = 0;
    while (out.size() < 65535) {
        share += japaneseShare;
        if (share >= 1) {
            out += japanese;
            share -= 1;
        } else {
            out += ascii;
        }
    }
    out.truncate(65535);
    return out;
}

void measure(QTextStream& log, const char* name, const QByteArray& bytes)
{
    constexpr int rounds = 200;
    QElapsedTimer timer;
    timer.start();
    qint64 chars = 0;
    for (int i = 0; i < rounds; ++i)
        chars += CodePage::FromAnsi(bytes).size();
    const double decodeMs = timer.nsecsElapsed() / 1e6 / rounds;
    const QString text = CodePage::FromAnsi(bytes);
    timer.restart();
    qint64 count = 0;
    for (int i = 0; i < rounds; ++i)
        count += CountDoubleByte(text);
    const double countMs = timer.nsecsElapsed() / 1e6 / rounds;
    log << name << ": FromAnsi " << decodeMs << " ms, CountDoubleByte " << countMs
        << " ms per 64 KiB body (" << double(bytes.size()) / decodeMs / 1e3 << " MB/s decode)"
        << (chars + count == 0 ? " ?" : "") << Qt::endl;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream log(stdout);
    measure(log, "ASCII page", body(0));
    measure(log, "mostly ASCII page", body(0.1));
    measure(log, "Japanese-heavy page", body(1.0));
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 100000; ++i)
        CodePage::FromAnsi("Info=\x82\xa0"_ba);
    log << "short line FromAnsi: " << timer.nsecsElapsed() / 100000 << " ns" << Qt::endl;
    return 0;
}
