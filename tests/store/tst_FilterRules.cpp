#include "store/FilterRules.h"
#include "store/ItemFile.h"
#include "store/ItemFolder.h"

#include "support/TestProgramFolder.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(FilterRules)

namespace
{

const QByteArray Shortcut = "[InternetShortcut]\r\nURL=u\r\n\r\n"_ba;
const QByteArray Private = "[SiteVigil]\r\nErr=3\r\nInfo=i\r\nCheck2Byte=0\r\n"_ba;
const QByteArray Rules = "[SiteVigil.Filter]\r\nSelect=#main\r\nIgnore=\\d+ hits\r\n"_ba;

FilterRules rules(const QString& select, const QStringList& ignore, bool present = true)
{
    return FilterRules{select, ignore, present};
}

} // namespace

class tst_FilterRules final : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;
    QString folder() const { return dir->path() + u'/'; }

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
    }
    void cleanup() { dir.reset(); }

    void read_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<FilterRules>("expected");
        QTest::newRow("no section") << Shortcut + Private << rules({}, {}, false);
        QTest::newRow("select and one ignore")
            << Shortcut + Rules + Private << rules(u"#main"_s, {u"\\d+ hits"_s});
        QTest::newRow("CP932 rule, several ignores, keys in any case")
            << "[SiteVigil.Filter]\r\nIGNORE=\x8d\x58\x90\x56\r\nignore=a\r\nIgnore=\r\n"_ba
            << rules({}, {u"更新"_s, u"a"_s});
        QTest::newRow("second Select wins, blanks kept")
            << "[SiteVigil.Filter]\r\nSelect=a\r\nSelect= b \r\n"_ba << rules(u" b "_s, {});
        QTest::newRow("section name in other case is foreign")
            << "[sitevigil.filter]\r\nSelect=a\r\n"_ba << rules({}, {}, false);
        QTest::newRow("keys outside the section ignored")
            << Shortcut + "Select=a\r\n"_ba + Rules.left(20) + "[Other]\r\nIgnore=x\r\n"_ba
            << rules({}, {});
        QTest::newRow("private values that look like a section")
            << Shortcut + "[SiteVigil]\r\nErr=0\r\n[SiteVigil.Filter]\r\nCheck2Byte=0\r\n"_ba
            << rules({}, {}, false);
        QTest::newRow("UTF-8 file")
            << "\xEF\xBB\xBF[SiteVigil.Filter]\r\nIgnore=\xC3\xA9\r\n"_ba << rules({}, {u"é"_s});
        QTest::newRow("UTF-16 file gives none") << "\xFF\xFE[\0S\0"_ba << rules({}, {}, false);
    }
    void read()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(FilterRules, expected);
        const FilterRules got = ReadFilterRules(bytes);
        QCOMPARE(got.select, expected.select);
        QCOMPARE(got.ignore, expected.ignore);
        QCOMPARE(got.present, expected.present);
    }

    void write_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<FilterRules>("written");
        QTest::addColumn<QByteArray>("after");
        const FilterRules main = rules(u"#main"_s, {u"\\d+ hits"_s});
        QTest::newRow("before the private section")
            << Shortcut + Private << main << Shortcut + Rules + Private;
        QTest::newRow("at the end without a private section, last line unended")
            << "[InternetShortcut]\r\nURL=u"_ba << main
            << "[InternetShortcut]\r\nURL=u\r\n"_ba + Rules;
        QTest::newRow("replaced in place, foreign lines kept")
            << "[A]\r\nk=v\r\n[SiteVigil.Filter]\r\nSelect=old\r\n; note\r\nIgnore=x\r\n[B]\r\n"
               "k=w\r\n"_ba +
                   Private
            << rules(u"p"_s, {})
            << "[A]\r\nk=v\r\n[SiteVigil.Filter]\r\nSelect=p\r\n; note\r\n[B]\r\nk=w\r\n"_ba +
                   Private;
        QTest::newRow("empty rules remove it")
            << Shortcut + Rules + Private << rules({}, {}) << Shortcut + Private;
        QTest::newRow("empty rules keep a section with foreign lines")
            << "[SiteVigil.Filter]\r\nSelect=a\r\nNote=b\r\n"_ba << rules({}, {u""_s})
            << "[SiteVigil.Filter]\r\nNote=b\r\n"_ba;
        QTest::newRow("a second section loses its rules")
            << "[SiteVigil.Filter]\r\nSelect=a\r\n[X]\r\n[SiteVigil.Filter]\r\nIgnore=b\r\n"_ba
            << rules({}, {u"c"_s}) << "[SiteVigil.Filter]\r\nIgnore=c\r\n[X]\r\n"_ba;
        QTest::newRow("no rules, no section: unchanged")
            << Shortcut + Private << rules({}, {}) << Shortcut + Private;
        QTest::newRow("CP932") << Private << rules({}, {u"更新"_s})
                               << "[SiteVigil.Filter]\r\nIgnore=\x8d\x58\x90\x56\r\n"_ba + Private;
    }
    void write()
    {
        QFETCH(QByteArray, before);
        QFETCH(FilterRules, written);
        QFETCH(QByteArray, after);
        QCOMPARE(WithFilterRules(before, written), after);
        WriteAll(folder() + u"a.url"_s, before);
        QVERIFY(WriteFilterRules(folder(), "a.url", written).ok);
        QCOMPARE(ReadAll(folder() + u"a.url"_s), after);
        const FilterRules back = ReadFilterRules(after);
        QCOMPARE(back.select, written.select);
        QStringList ignore = written.ignore;
        ignore.removeAll(QString());
        QCOMPARE(back.ignore, ignore);
    }

    void refused_data()
    {
        QTest::addColumn<FilterRules>("written");
        QTest::addColumn<QString>("reason");
        QTest::newRow("selector outside CP932") << rules(u"p.café"_s, {}) << u"「é」(U+00E9)"_s;
        QTest::newRow("yen sign would come back as backslash")
            << rules({}, {u"¥d+"_s}) << u"「¥」(U+00A5)"_s;
        QTest::newRow("line break") << rules({}, {u"a\nb"_s}) << u"改行"_s;
    }
    void refused()
    {
        QFETCH(FilterRules, written);
        QFETCH(QString, reason);
        const QByteArray before = Shortcut + Private;
        WriteAll(folder() + u"a.url"_s, before);
        const FileResult result = WriteFilterRules(folder(), "a.url", written);
        QVERIFY(!result.ok);
        QVERIFY2(result.message.contains(reason), qPrintable(result.message));
        QCOMPARE(ReadAll(folder() + u"a.url"_s), before);
    }

    void literalIgnorePattern_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("reason"); // empty: taken
        QTest::newRow("metacharacters")
            << u"a.b*c+(1)[x]{2}^$|?\\"_s << u"a\\.b\\*c\\+\\(1\\)\\[x\\]\\{2\\}\\^\\$\\|\\?\\\\"_s
            << QString();
        QTest::newRow("Japanese as it is, blanks collapsed")
            << u" あなたは  1,234 人目の訪問者です。 "_s << u"あなたは 1,234 人目の訪問者です。"_s
            << QString();
        QTest::newRow("yen sign") << u"¥100"_s << QString() << u"「¥」(U+00A5)"_s;
        QTest::newRow("outside CP932") << u"한국어 뉴스"_s << QString() << u"(U+D55C)"_s;
        QTest::newRow("two lines") << u"1 人目\u2029+2 人目"_s << QString() << u"複数の行"_s;
        QTest::newRow("blanks only") << u" \t "_s << QString() << u"選ばれていません"_s;
    }
    void literalIgnorePattern()
    {
        QFETCH(QString, text);
        QFETCH(QString, pattern);
        QFETCH(QString, reason);
        QString why;
        QCOMPARE(LiteralIgnorePattern(text, &why), pattern);
        QVERIFY2(why.contains(reason), qPrintable(why));
        if (!pattern.isEmpty()) {
            const QRegularExpression re(u"^"_s + pattern + u"$"_s);
            QVERIFY2(re.isValid(), qPrintable(re.errorString()));
            QVERIFY(re.match(text.simplified()).hasMatch());
        }
    }

    void keptByEveryItemFileRewrite_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::newRow("written here") << Shortcut + Rules + Private;
        QTest::newRow("after the private section") << Shortcut + Private + Rules;
        QTest::newRow("UTF-8 file") << "\xEF\xBB\xBF"_ba + Shortcut + Rules + Private;
    }
    void keptByEveryItemFileRewrite()
    {
        QFETCH(QByteArray, before);
        WriteAll(folder() + u"a.url"_s, before);
        ItemRecord item = ReadItemFile(folder(), "a.url");
        item.Info = u"エラー:接続が拒否されました"_s;
        QVERIFY(WriteItemFile(folder(), item).ok);
        item.Info = u"12"_s;
        QVERIFY(WriteItemFile(folder(), item).ok);
        const QByteArray after = ReadAll(folder() + u"a.url"_s);
        QVERIFY2(after.contains(Rules + "[SiteVigil]\r\nErr=3\r\nInfo=12\r\n"), after.constData());
        const FilterRules back = ReadFilterRules(folder(), "a.url");
        QCOMPARE(back.select, u"#main"_s);
        QCOMPARE(back.ignore, QStringList{u"\\d+ hits"_s});
        // and the rules' writer gives the item file reader what it had
        QVERIFY(WriteFilterRules(folder(), "a.url", rules(u"#x"_s, {})).ok);
        QCOMPARE(ItemFields(ReadItemFile(folder(), "a.url")), ItemFields(item));
    }

    void missingOrReadOnlyFileRefused()
    {
        QVERIFY(!WriteFilterRules(folder(), "gone.url", rules(u"a"_s, {})).ok);
        QVERIFY(!QFile::exists(folder() + u"gone.url"_s));
        WriteAll(folder() + u"a.url"_s, Private);
        QVERIFY(QFile::setPermissions(folder() + u"a.url"_s, QFile::ReadOwner));
        QVERIFY(!WriteFilterRules(folder(), "a.url", rules(u"a"_s, {})).ok);
        QCOMPARE(ReadAll(folder() + u"a.url"_s), Private);
    }
};

QTEST_GUILESS_MAIN(tst_FilterRules)
#include "tst_FilterRules.moc"
