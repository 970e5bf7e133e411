#include "store/ItemFile.h"
#include "store/WebLinks.h"

#include "support/TestProgramFolder.h"

#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace
{

QByteArray utf16(const QString& text)
{
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

// "url | title" for each link, so one comparison shows them all.
QStringList shown(const WebLinks& links)
{
    QStringList out;
    for (const WebLink& l : links.Links)
        out.append(l.URL + u" | "_s + l.Title);
    return out;
}

QStringList refusedTexts(const WebLinks& links)
{
    QStringList out;
    for (const RefusedLink& r : links.Refused)
        out.append(r.Text);
    return out;
}

} // namespace

class tst_WebLinks final : public QObject
{
    Q_OBJECT
private slots:
    void linksIn_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<QStringList>("refused");
        QTest::newRow("uri-list of two links")
            << u"text/uri-list"_s << "# comment\r\nhttp://example.com/news\r\nhttps://example.org\r\n"_ba
            << QStringList{u"http://example.com/news | example.com news"_s,
                           u"https://example.org | example.org"_s}
            << QStringList{};
        QTest::newRow("x-moz-url with a Japanese title")
            << u"text/x-moz-url"_s << utf16(u"https://example.jp/a\nニュース速報\nhttp://b.example/x/y\n"_s)
            << QStringList{u"https://example.jp/a | ニュース速報"_s,
                           u"http://b.example/x/y | b.example x y"_s}
            << QStringList{};
        QTest::newRow("netscape url, title with / and :")
            << u"_NETSCAPE_URL"_s << "http://e.example/\nNews: A/B \"1\"?"_ba
            << QStringList{u"http://e.example/ | News： A／B ＂1＂？"_s} << QStringList{};
        QTest::newRow("plain text: a URL, a blank line, words")
            << u"text/plain"_s << "  https://example.com/a%20b/c  \n\nsee: this\nC:\\x\n"_ba
            << QStringList{u"https://example.com/a%20b/c | example.com a b c"_s} << QStringList{};
        QTest::newRow("plain text without URLs is nothing")
            << u"text/plain"_s << "/tmp/x.url\nhello"_ba << QStringList{} << QStringList{};
        QTest::newRow("javascript, ftp, file, no host: refused and named")
            << u"text/plain"_s
            << "javascript:alert(1)\nftp://example.com/f\nfile:///etc/passwd\nhttp:///p\n"_ba
            << QStringList{}
            << QStringList{u"javascript:alert(1)"_s, u"ftp://example.com/f"_s,
                           u"file:///etc/passwd"_s, u"http:///p"_s};
        QTest::newRow("local files of a uri-list are the shortcut import's")
            << u"text/uri-list"_s << "file:///tmp/a.url\r\nfile:///tmp/b.txt\r\n"_ba
            << QStringList{} << QStringList{};
    }
    void linksIn()
    {
        QFETCH(QString, format);
        QFETCH(QByteArray, bytes);
        QMimeData data;
        data.setData(format, bytes);
        const WebLinks links = LinksIn(&data);
        QTEST(shown(links), "links");
        QTEST(refusedTexts(links), "refused");
        QVERIFY(MayCarryLinks(&data));
    }

    void linkFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("links");
        QTest::newRow("link with Name")
            << "[Desktop Entry]\nType=Link\nName=Example\\sNews\nURL=https://example.com/\n"_ba
            << QStringList{u"https://example.com/ | Example News"_s};
        QTest::newRow("Japanese name first")
            << "[Desktop Entry]\nName=News\nName[ja]=ニュース\nType=Link\nURL[$e]=http://a.example/\n"_ba
            << QStringList{u"http://a.example/ | ニュース"_s};
        QTest::newRow("an application is no link")
            << "[Desktop Entry]\nType=Application\nExec=x\nURL=http://a.example/\n"_ba
            << QStringList{};
        QTest::newRow("URL of another group")
            << "[Desktop Entry]\nType=Link\n[Other]\nURL=http://a.example/\n"_ba << QStringList{};
    }
    void linkFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, links);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"link.desktop"_s);
        WriteAll(path, content);
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        const WebLinks found = LinksIn(&data);
        QCOMPARE(shown(found), links);
        QCOMPARE(refusedTexts(found).size(), links.isEmpty() ? 1 : 0);
    }

    void titleAsFileName_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QString>("expected");
        QTest::newRow("control characters") << u"a\tb\nc"_s << QString() << u"a b c"_s;
        QTest::newRow("dots and blanks at the ends") << u" ..hidden. "_s << QString() << u"hidden"_s;
        QTest::newRow("device name") << u"CON.txt"_s << QString() << u"CON_.txt"_s;
        QTest::newRow("nothing left") << u"..."_s << QString() << QString();
        QTest::newRow("cut for the suffix, whole characters")
            << QString(100, QChar(0x304C)) << u" (2)"_s << QString(82, QChar(0x304C));
        QTest::newRow("cut between surrogate pairs")
            << u"😀"_s.repeated(70) << QString() << u"😀"_s.repeated(62);
    }
    void titleAsFileName()
    {
        QFETCH(QString, title);
        QFETCH(QString, suffix);
        QFETCH(QString, expected);
        const QString made = TitleAsFileName(title, suffix);
        QCOMPARE(made, expected);
        if (!made.isEmpty())
            QCOMPARE(TitleProblem(made + suffix), QString());
    }

    void placeLink_data()
    {
        QTest::addColumn<QStringList>("existing"); // "title=url"
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("present");
        QTest::newRow("free") << QStringList{} << u"News"_s << false;
        QTest::newRow("same URL, other case")
            << QStringList{u"news=HTTP://Example.com"_s} << u"News"_s << true;
        QTest::newRow("another URL") << QStringList{u"News=http://other/"_s} << u"News (2)"_s << false;
        QTest::newRow("(2) taken by another, (3) free")
            << QStringList{u"News=http://other/"_s, u"News (2)=http://third/"_s} << u"News (3)"_s
            << false;
        QTest::newRow("(2) holds it") << QStringList{u"News=http://other/"_s, u"News (2)=http://example.com/"_s}
                                      << u"News (2)"_s << true;
    }
    void placeLink()
    {
        QFETCH(QStringList, existing);
        QTemporaryDir dir;
        const QString folder = dir.path() + u'/';
        for (const QString& e : existing) {
            const QStringList kv = e.split(u'=');
            QVERIFY(WriteItemFile(folder, MakeItem(kv[0], kv[1])).ok);
        }
        const LinkPlacement place = PlaceLink(folder, {u"http://example.com/"_s, u"News"_s});
        QTEST(place.Title, "title");
        QTEST(place.Present, "present");
    }
};

QTEST_GUILESS_MAIN(tst_WebLinks)
#include "tst_WebLinks.moc"
