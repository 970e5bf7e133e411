#include "check/ContentDecoder.h"

#include <QTest>

#include <zlib.h>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(ContentDecoder::Coding)

namespace
{
// windowBits as zlib takes them: 15 zlib wrapper, 31 gzip, -15 bare deflate.
QByteArray pack(const QByteArray& data, int windowBits)
{
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(qsizetype(deflateBound(&z, uLong(data.size()))) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(qsizetype(z.total_out));
    deflateEnd(&z);
    return out;
}

QByteArray text(qsizetype size)
{
    QByteArray data;
    for (qsizetype i = 0; data.size() < size; ++i)
        data += "line " + QByteArray::number(i) + " of the page\n";
    return data.left(size);
}
} // namespace

class tst_ContentDecoder final : public QObject
{
    Q_OBJECT
private slots:
    void fromHeader_data();
    void fromHeader();
    void feed_data();
    void feed();
};

void tst_ContentDecoder::fromHeader_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<bool>("supported");
    QTest::addColumn<ContentDecoder::Coding>("coding");

    using C = ContentDecoder::Coding;
    QTest::newRow("absent") << QByteArray() << true << C::Identity;
    QTest::newRow("identity") << QByteArray("identity") << true << C::Identity;
    QTest::newRow("gzip") << QByteArray("gzip") << true << C::Gzip;
    QTest::newRow("GZIP with blanks") << QByteArray("  GZIP ") << true << C::Gzip;
    QTest::newRow("x-gzip") << QByteArray("x-gzip") << true << C::Gzip;
    QTest::newRow("deflate") << QByteArray("Deflate") << true << C::Deflate;
    QTest::newRow("identity, gzip") << QByteArray("identity, gzip") << true << C::Gzip;
    QTest::newRow("brotli") << QByteArray("br") << false << C::Identity;
    QTest::newRow("compress") << QByteArray("compress") << false << C::Identity;
    QTest::newRow("two layers") << QByteArray("deflate, gzip") << false << C::Identity;
}

void tst_ContentDecoder::fromHeader()
{
    QFETCH(QByteArray, header);
    QFETCH(bool, supported);
    QFETCH(ContentDecoder::Coding, coding);
    const auto result = ContentDecoder::FromHeader(header);
    QCOMPARE(result.has_value(), supported);
    if (supported)
        QCOMPARE(*result, coding);
}

void tst_ContentDecoder::feed_data()
{
    QTest::addColumn<ContentDecoder::Coding>("coding");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("pieceSize");
    QTest::addColumn<int>("limit");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<bool>("finished");

    using C = ContentDecoder::Coding;
    const QByteArray page = text(5000);
    const QByteArray large = text(300000);
    for (const int piece : {1, 7, 1 << 20}) {
        const QByteArray tag = " in pieces of " + QByteArray::number(piece);
        QTest::newRow("gzip" + tag)
            << C::Gzip << pack(page, 31) << piece << 65535 << true << page << true;
        QTest::newRow("zlib deflate" + tag)
            << C::Deflate << pack(page, 15) << piece << 65535 << true << page << true;
        QTest::newRow("bare deflate" + tag)
            << C::Deflate << pack(page, -15) << piece << 65535 << true << page << true;
        QTest::newRow("over the limit" + tag)
            << C::Gzip << pack(large, 31) << piece << 65535 << true << large.left(65535) << false;
        QTest::newRow("identity over the limit" + tag)
            << C::Identity << large << piece << 65535 << true << large.left(65535) << false;
    }
    QTest::newRow("gzip labelled deflate")
        << C::Deflate << pack(page, 31) << 100 << 65535 << true << page << true;
    // What a cut stream yields depends on the compressor; it must be a start of the page.
    QTest::newRow("truncated stream keeps what it has")
        << C::Gzip << pack(page, 31).left(40) << 100 << 65535 << true << page << false;
    QTest::newRow("not compressed") << C::Gzip << QByteArray("<html>plain</html>") << 100 << 65535
                                    << true << QByteArray("<html>plain</html>") << false;
    const QByteArray corrupt = pack(page, 31).left(30) + QByteArray(200, '\xff');
    QTest::newRow("corrupt after a good start")
        << C::Gzip << corrupt << 100 << 65535 << true << corrupt << false;
    QTest::newRow("corrupt past the kept start")
        << C::Gzip << pack(text(4 << 20), 31).left(80000) + QByteArray(200, '\xff') << 1000
        << (64 << 20) << false << QByteArray() << false;
    QTest::newRow("empty input") << C::Gzip << QByteArray() << 100 << 65535 << true << QByteArray()
                                 << false;
    QTest::newRow("small limit") << C::Gzip << pack(page, 31) << 13 << 10 << true << page.left(10)
                                 << false;
}

void tst_ContentDecoder::feed()
{
    QFETCH(ContentDecoder::Coding, coding);
    QFETCH(QByteArray, input);
    QFETCH(int, pieceSize);
    QFETCH(int, limit);
    QFETCH(bool, ok);
    QFETCH(QByteArray, output);
    QFETCH(bool, finished);

    ContentDecoder decoder(coding, limit);
    QByteArray out;
    bool good = true;
    for (qsizetype at = 0; good && at < input.size() && out.size() < limit; at += pieceSize)
        good = decoder.Feed(QByteArrayView(input).sliced(at).first(
                                std::min<qsizetype>(pieceSize, input.size() - at)),
                            out);
    QCOMPARE(good, ok);
    QVERIFY(out.size() <= limit);
    if (!ok)
        return;
    if (finished || out.size() == limit)
        QCOMPARE(out, output);
    else
        QVERIFY(output.startsWith(out));
    QCOMPARE(decoder.Finished(), finished);
}

QTEST_GUILESS_MAIN(tst_ContentDecoder)
#include "tst_ContentDecoder.moc"
