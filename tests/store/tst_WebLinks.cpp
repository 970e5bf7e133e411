#include "store/ItemFile.h"
#include "store/WebLinks.h"

#include "support/TestProgramFolder.h"

#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// As a browser puts text/x-moz-url on the clipboard.
QByteArray utf16(const QString& text)
{
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

class tst_WebLinks final : public QObject
{
    Q_OBJECT
private slots:
    void linksIn_data()
    {
        // "desktop": bytes are a link file dropped; "fifo", "zero": a FIFO, a link to /dev/zero
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("links"); // "url | title"
        QTest::addColumn<int>("refused");
        const QString moz = u"https://example.jp/a\nニュース速報\nhttp://b.example/x/y\n"_s;
        QTest::newRow("uri-list of two links")
            << u"text/uri-list"_s << "# c\r\nhttp://example.com/news\r\nhttps://example.org\r\n"_ba
            << QStringList{u"http://example.com/news | example.com news"_s,
                           u"https://example.org | example.org"_s}
            << 0;
        QTest::newRow("x-moz-url (UTF-16) with a Japanese title")
            << u"text/x-moz-url"_s
            << QByteArray(reinterpret_cast<const char*>(moz.utf16()), moz.size() * 2)
            << QStringList{u"https://example.jp/a | ニュース速報"_s,
                           u"http://b.example/x/y | b.example x y"_s}
            << 0;
        QTest::newRow("x-moz-url: CRLF, a missing title, a last link without its title")
            << u"text/x-moz-url"_s
            << utf16(u"https://a.example/1\r\n日本語: A/B\r\nhttp://b.example/2\r\n\r\n"
                     u"http://c.example/3\r\nC\r\nhttp://d.example/4"_s)
            << QStringList{u"https://a.example/1 | 日本語： A／B"_s,
                           u"http://b.example/2 | b.example 2"_s, u"http://c.example/3 | C"_s,
                           u"http://d.example/4 | d.example 4"_s}
            << 0;
        QTest::newRow("x-moz-url: empty")
            << u"text/x-moz-url"_s << QByteArray() << QStringList{} << 0;
        QTest::newRow("title with / and :")
            << u"_NETSCAPE_URL"_s << "http://e.example/\n.News: A/B \"1\"?"_ba
            << QStringList{u"http://e.example/ | News： A／B ＂1＂？"_s} << 0;
        QTest::newRow("plain text: a URL, a blank line, words")
            << u"text/plain"_s << "  https://example.com/a%20b/c  \n\nsee: this\nC:\\x\n"_ba
            << QStringList{u"https://example.com/a%20b/c | example.com a b c"_s} << 0;
        QTest::newRow("plain text with NUL and ESC")
            << u"text/plain"_s << QByteArray("http://a.example/a\x1b\0b\n", 22)
            << QStringList{u"http://a.example/a%1B%00b | a.example a b"_s} << 0;
        QTest::newRow("IPv6 host") << u"text/uri-list"_s << "http://[::1]:8080/news\r\n"_ba
                                   << QStringList{u"http://[::1]:8080/news | [：：1] news"_s} << 0;
        QTest::newRow("plain text without URLs")
            << u"text/plain"_s << "/tmp/x.url\nhi"_ba << QStringList{} << 0;
        QTest::newRow("javascript, ftp, file, no host")
            << u"text/plain"_s << "javascript:alert(1)\nftp://e.example/\nfile:///etc\nhttp:///p"_ba
            << QStringList{} << 4;
        QTest::newRow("desktop link file")
            << u"desktop"_s
            << "[Desktop Entry]\nName=N\nName[ja]=例\\sA\nType=Link\nURL=http://a.example/\n"_ba
            << QStringList{u"http://a.example/ | 例 A"_s} << 0;
        QTest::newRow("FIFO named *.desktop") << u"fifo"_s << QByteArray() << QStringList{} << 1;
        QTest::newRow("*.desktop linked to /dev/zero")
            << u"zero"_s << QByteArray() << QStringList{} << 1;
        QTest::newRow("desktop file of an application")
            << u"desktop"_s << "[Desktop Entry]\nType=Application\nURL=http://a.example/\n"_ba
            << QStringList{} << 1;
    }
    void linksIn()
    {
        QFETCH(QString, format);
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        QMimeData data;
        const QByteArray linkFile = QFile::encodeName(dir.filePath(u"link.desktop"_s));
        if (format == u"fifo"_s)
            QCOMPARE(::mkfifo(linkFile.constData(), 0600), 0);
        if (format == u"zero"_s)
            QCOMPARE(::symlink("/dev/zero", linkFile.constData()), 0);
        if (format == u"desktop"_s)
            WriteAll(dir.filePath(u"link.desktop"_s), bytes);
        if (format == u"desktop"_s || format == u"fifo"_s || format == u"zero"_s) {
            data.setUrls({QUrl::fromLocalFile(dir.filePath(u"link.desktop"_s))});
        } else {
            data.setData(format, bytes);
        }
        const WebLinks found = LinksIn(&data);
        QStringList links;
        for (const WebLink& l : found.Links)
            links.append(l.URL + u" | "_s + l.Title);
        QTEST(links, "links");
        QTEST(int(found.Refused.size()), "refused");
        QVERIFY(MayCarryLinks(&data));
    }

    void titleAsFileName_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QString>("expected");
        QTest::newRow("controls, dots and blanks at the ends")
            << u" ..a\tb. "_s << QString() << u"a b"_s;
        QTest::newRow("device name") << u"CON.txt"_s << QString() << u"CON_.txt"_s;
        QTest::newRow("cut for the suffix between surrogate pairs")
            << u"😀"_s.repeated(70) << u" (2)"_s << u"😀"_s.repeated(61);
    }
    void titleAsFileName()
    {
        QFETCH(QString, title);
        QFETCH(QString, suffix);
        const QString made = TitleAsFileName(title, suffix);
        QTEST(made, "expected");
        QCOMPARE(TitleProblem(made + suffix), QString());
    }
};

QTEST_GUILESS_MAIN(tst_WebLinks)
#include "tst_WebLinks.moc"
