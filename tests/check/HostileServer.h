#pragma once
// Responses of a misbehaving web server, for the hostile-server tests of Inet and of the
// check run. Each ends a request in a completed or failed transfer; none may cost the
// client more than a bounded amount of time and memory.
#include "support/TestHttpServer.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QUrl>

#include <array>

namespace Hostile
{

// Raw deflate data of one literal zero byte followed by `matches` copies of the longest
// match (258 bytes at distance 1): 1 + 258 * matches zero bytes from about matches / 4 bytes.
// One dynamic Huffman block in which the match and its distance have 1-bit codes of 0, so
// the matches are plain zero bytes.
inline QByteArray ZeroDeflate(qint64 matches)
{
    QByteArray out;
    quint32 bits = 0;
    int count = 0;
    auto put = [&](quint32 value, int n) { // LSB first, as deflate packs numbers
        for (int i = 0; i < n; ++i) {
            bits |= ((value >> i) & 1u) << count;
            if (++count == 8) {
                out += char(bits);
                bits = 0;
                count = 0;
            }
        }
    };
    auto code = [&](quint32 value, int n) { // Huffman codes go MSB first
        for (int i = n - 1; i >= 0; --i)
            put((value >> i) & 1u, 1);
    };
    put(1, 1);  // last block
    put(2, 2);  // dynamic Huffman
    put(29, 5); // 286 literal/length codes
    put(0, 5);  // 1 distance code
    put(14, 4); // 18 code length codes
    // Code length code lengths, in their fixed order 16,17,18,0,8,7,9,6,10,5,11,4,12,3,13,2,14,1:
    // symbol 18 (run of zeros) 1 bit, symbols 1 and 2 two bits.
    const int order[] = {0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2};
    for (int len : order)
        put(quint32(len), 3);
    // Canonical codes: 18 -> 0, 1 -> 10, 2 -> 11.
    auto length2 = [&] { code(0b11, 2); };
    auto length1 = [&] { code(0b10, 2); };
    auto zeros = [&](int n) {
        code(0, 1);
        put(quint32(n - 11), 7);
    };
    length2();  // literal 0: 2 bits
    zeros(138); // literals 1..138
    zeros(117); // literals 139..255
    length2();  // 256 end of block: 2 bits
    zeros(28);  // 257..284
    length1();  // 285 (length 258): 1 bit
    length1();  // distance code 0 (distance 1): 1 bit
    // Canonical codes: 285 -> 0, literal 0 -> 10, end of block -> 11; distance 0 -> 0.
    code(0b10, 2); // the literal zero byte
    qint64 zeroBits = 2 * matches;
    while (count != 0 && zeroBits > 0) {
        put(0, 1);
        --zeroBits;
    }
    out.append(QByteArray(zeroBits / 8, '\0'));
    put(0, int(zeroBits % 8));
    code(0b11, 2); // end of block
    if (count != 0)
        out += char(bits);
    return out;
}

inline qint64 ZeroDeflateSize(qint64 matches)
{
    return 1 + 258 * matches;
}

// CRC-32 of n zero bytes: the register update for a zero byte is linear, so it is raised to
// the n-th power by squaring a 32x32 bit matrix.
inline quint32 Crc32OfZeros(qint64 n)
{
    using Matrix = std::array<quint32, 32>;
    auto apply = [](const Matrix& m, quint32 v) {
        quint32 r = 0;
        for (int i = 0; v; ++i, v >>= 1)
            if (v & 1u)
                r ^= m[i];
        return r;
    };
    Matrix step{}; // one zero byte
    for (int i = 0; i < 32; ++i) {
        quint32 r = 1u << i;
        for (int k = 0; k < 8; ++k)
            r = (r >> 1) ^ (0xEDB88320u & (0u - (r & 1u)));
        step[i] = r;
    }
    quint32 reg = 0xFFFFFFFFu;
    for (; n > 0; n >>= 1) {
        if (n & 1)
            reg = apply(step, reg);
        Matrix squared{};
        for (int i = 0; i < 32; ++i)
            squared[i] = apply(step, step[i]);
        step = squared;
    }
    return ~reg;
}

inline void appendLe32(QByteArray& out, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        out += char((v >> (8 * i)) & 0xFF);
}

// A gzip member of ZeroDeflateSize(matches) zero bytes.
inline QByteArray GzipOfZeros(qint64 matches)
{
    QByteArray out("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10);
    out += ZeroDeflate(matches);
    appendLe32(out, Crc32OfZeros(ZeroDeflateSize(matches)));
    appendLe32(out, quint32(ZeroDeflateSize(matches) & 0xFFFFFFFFu));
    return out;
}

// The same zeros as a zlib stream (HTTP's "deflate").
inline QByteArray ZlibOfZeros(qint64 matches)
{
    QByteArray out("\x78\x01", 2);
    out += ZeroDeflate(matches);
    const quint32 adler = (quint32(ZeroDeflateSize(matches) % 65521) << 16) | 1u;
    for (int i = 3; i >= 0; --i)
        out += char((adler >> (8 * i)) & 0xFF);
    return out;
}

// About 1 GiB of zeros from about 1 MB.
constexpr qint64 BombMatches = 4161790;

struct Case {
    const char* name;
    TestResponse response;
    bool mayComplete; // a completed transfer is a sound outcome
    bool mayFail;     // a failed transfer is a sound outcome
};

inline TestResponse Raw(const QByteArray& bytes)
{
    TestResponse r;
    r.raw = bytes;
    return r;
}

// What the local file a redirect points at holds; no body may ever contain it.
inline const QByteArray FileMarker = "LOCAL FILE CONTENT";

// The misbehaving answers. The redirect loop points at "/hostile-loop", which the server
// must answer with the same redirect.
// `filePage` is a local file that a redirect points at; it must never be read.
inline QList<Case> Cases(const QString& filePage)
{
    QList<Case> cases;
    cases.append({"garbage instead of HTTP",
                  Raw(QByteArray("\x16\x03\x01 garbage \xff\xfe\r\n\r\n").repeated(100)), false,
                  true});
    cases.append({"closed in the status line", Raw("HTTP/1.1 20"), false, true});
    cases.append({"closed in the headers",
                  Raw("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Len"), false, true});
    TestResponse cutBody;
    cutBody.body = QByteArray(10000, 'b');
    cutBody.closeAfterBytes = 3000;
    cases.append({"closed in the body", cutBody, false, true});
    TestResponse cutChunked = cutBody;
    cutChunked.chunked = true;
    cases.append({"closed in a chunked body", cutChunked, false, true});

    TestResponse huge;
    huge.body = QByteArray(4096, 'h');
    huge.bodyLength = 100LL * 1000 * 1000;
    cases.append({"100 MB body", huge, true, false});
    TestResponse endless;
    endless.body = QByteArray(4096, 'e');
    endless.endless = true;
    cases.append({"endless body", endless, true, false});

    cases.append({"1 MB header line",
                  Raw("HTTP/1.1 200 OK\r\nX-Long: " + QByteArray(1024 * 1024, 'L') +
                      "\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello"),
                  true, true});
    QByteArray many = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 10000; ++i)
        many += "X-Header-" + QByteArray::number(i) + ": value " + QByteArray::number(i) + "\r\n";
    many += "Content-Length: 5\r\nConnection: close\r\n\r\nhello";
    cases.append({"10,000 headers", Raw(many), true, true});

    TestResponse flood = Raw("HTTP/1.1 200 OK\r\n");
    flood.body = "X-Flood: " + QByteArray(100, 'f') + "\r\n";
    flood.endless = true;
    cases.append({"header lines without end", flood, false, true});

    TestResponse trickle;
    trickle.body = QByteArray(100000, 't');
    trickle.bytesPerSecond = 1;
    cases.append({"one byte a second", trickle, false, true});

    const QByteArray bomb = GzipOfZeros(BombMatches);
    cases.append({"gzip bomb, 1 GB from 1 MB",
                  Raw("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Encoding: gzip\r\n"
                      "Content-Length: " +
                      QByteArray::number(bomb.size()) + "\r\nConnection: close\r\n\r\n" + bomb),
                  true, true});
    const QByteArray zlibBomb = ZlibOfZeros(BombMatches);
    cases.append(
        {"deflate bomb, 1 GB from 1 MB",
         Raw("HTTP/1.1 200 OK\r\nContent-Encoding: deflate\r\nTransfer-Encoding: chunked\r\n"
             "Connection: close\r\n\r\n" +
             QByteArray::number(zlibBomb.size(), 16) + "\r\n" + zlibBomb + "\r\n0\r\n\r\n"),
         true, true});

    const auto redirect = [](int status, const QByteArray& location) {
        TestResponse r;
        r.status = status;
        r.headers = {{"Location", location}};
        return r;
    };
    cases.append({"redirect loop", redirect(302, "/hostile-loop"), false, true});
    cases.append({"redirect to file://", redirect(302, QUrl::fromLocalFile(filePage).toEncoded()),
                  false, true});
    cases.append({"redirect to ftp://", redirect(301, "ftp://127.0.0.1/page.html"), false, true});
    cases.append({"redirect to data:", redirect(307, "data:text/html,changed"), false, true});

    TestResponse hang;
    hang.hang = true;
    cases.append({"accepts and never answers", hang, false, true});
    return cases;
}

// Writes filePage (holding FileMarker) and lets the server answer "/h<i>" with case i,
// "/hostile-loop" with a redirect to itself, "/ok" with an ordinary page and anything else
// with 404. The cases; none when filePage cannot be written.
inline QList<Case> Serve(TestHttpServer& server, const QString& filePage)
{
    QFile page(filePage);
    if (!page.open(QIODevice::WriteOnly) || page.write(FileMarker) != FileMarker.size())
        return {};
    page.close();
    const QList<Case> cases = Cases(filePage);
    server.setHandler([cases](const QByteArray& path, int) {
        TestResponse r;
        if (path == "/hostile-loop") {
            r.status = 302;
            r.headers = {{"Location", "/hostile-loop"}};
        } else if (path == "/ok") {
            r.body = "<html>an ordinary page</html>";
        } else if (const int i = path.mid(2).toInt();
                   path.startsWith("/h") && i >= 0 && i < cases.size()) {
            r = cases.at(i).response;
        } else {
            r.status = 404;
        }
        return r;
    });
    return cases;
}

} // namespace Hostile
