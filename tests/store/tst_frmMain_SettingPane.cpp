#include "app/Module1.h"
#include "app/MsgBox.h"
#include "store/ItemFile.h"
#include "store/ItemFolder.h"
#include "support/TestProgramFolder.h"
#include "support/WindowTesting.h"
#include "support/frmMainProbe.h"
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>

using namespace Qt::StringLiterals;

namespace
{

struct ItemDialogInput {
    QString title, url, err, info;
    bool check2Byte = false;
};

// Answers the item dialog: records what it showed, optionally fills it, then OK or Cancel.
void AnswerItemDialog(ItemDialogInput* shown, const std::optional<ItemDialogInput>& answer)
{
    OnModal([shown, answer](QWidget* w) {
        auto* title = w->findChild<QLineEdit*>(u"txtTitle"_s);
        auto* url = w->findChild<QLineEdit*>(u"txtURL"_s);
        auto* err = w->findChild<QLineEdit*>(u"txtErr"_s);
        auto* info = w->findChild<QLineEdit*>(u"txtInfo"_s);
        auto* check = w->findChild<QCheckBox*>(u"chkCheck2Byte"_s);
        if (!title || !url || !err || !info || !check) {
            w->close();
            return;
        }
        *shown = {title->text(), url->text(), err->text(), info->text(), check->isChecked()};
        if (!answer) {
            w->findChild<QPushButton*>(u"cmdCancel"_s)->click();
            return;
        }
        title->setText(answer->title);
        url->setText(answer->url);
        err->setText(answer->err);
        info->setText(answer->info);
        check->setChecked(answer->check2Byte);
        w->findChild<QPushButton*>(u"cmdOK"_s)->click();
    });
}

QMimeData* FileDrop(const QStringList& paths)
{
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(QUrl::fromLocalFile(path));
    data->setUrls(urls);
    return data;
}

const QByteArray Foreign = "[InternetShortcut]\r\nURL=http://old.example/\r\nIconIndex=0\r\n"
                           "[SiteVigil]\r\nErr=1\r\nInfo=x\r\nCheck2Byte=0\r\n[Other]\r\nk=v\r\n";

} // namespace

class tst_frmMain_SettingPane final : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestProgramFolder> program;
    std::unique_ptr<QTemporaryDir> outside; // where dropped files come from
    QString items;
    std::unique_ptr<MsgBoxCapture> capture;
    std::unique_ptr<frmMain> window;

    frmMainProbe probe() const { return frmMainProbe(*window); }
    QListWidget* list() const { return probe().lstSetting(); }
    QString Notice() const { return window->findChild<QLabel*>(u"lblSettingNotice"_s)->text(); }

    // The window on its Setting pane with these item files.
    void Open(const QMap<QString, QByteArray>& files = {})
    {
        window = std::make_unique<frmMain>(); // an empty folder: no run starts
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            WriteAll(items + it.key(), it.value());
        probe().tabMain()->setCurrentIndex(1);
        QCOMPARE(window->windowTitle(), u"設定"_s);
    }
    void Select(const QString& title)
    {
        const auto found = list()->findItems(title, Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        list()->setCurrentItem(found.first());
        QVERIFY(found.first()->isSelected());
    }
    QStringList FilesInItemFolder() const
    {
        return QDir(items).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                                     QDir::Name);
    }

private slots:
    void init()
    {
        program = std::make_unique<TestProgramFolder>();
        outside = std::make_unique<QTemporaryDir>();
        QVERIFY(program->isValid() && outside->isValid());
        items = program->itemFolder();
        capture = std::make_unique<MsgBoxCapture>();
    }
    void cleanup()
    {
        window.reset();
        capture.reset();
        outside.reset();
        program.reset();
    }

    // An item whose stored Info is an error text is marked; the list's texts stay.
    void errorItemsAreMarked()
    {
        Open();
        const QString error = u"エラー:接続が拒否されました"_s;
        program->writeItem(MakeItem(u"a"_s, u"http://a/"_s, 0, error));
        program->writeItem(MakeItem(u"b"_s, u"http://b/"_s, 0, u"1 エラー:"_s));
        probe().RefreshSettingList();
        QCOMPARE(Lines(list()), (QStringList{u"a"_s, u"b"_s}));
        QVERIFY(!list()->item(0)->icon().isNull());
        QCOMPARE(list()->item(0)->toolTip(), error);
        QCOMPARE(list()->item(0)->data(Qt::AccessibleDescriptionRole).toString(), error);
        QVERIFY(list()->item(1)->icon().isNull());
        QVERIFY(list()->item(1)->toolTip().isEmpty());
    }

    void dispatchByExactKey()
    {
        Open({{u"a.url"_s, Foreign}});
        // A key in another letter case is no key of the toolbar.
        QAction other(u"x"_s);
        other.setObjectName(u"new"_s);
        probe().tbrSetting_ButtonClick(&other);
        other.setObjectName(u"OPTION"_s);
        probe().tbrSetting_ButtonClick(&other);
        QVERIFY(!QApplication::activeModalWidget());

        ItemDialogInput shown;
        AnswerItemDialog(&shown, std::nullopt);
        probe().tbrSettingButton(1)->trigger();
        QCOMPARE(shown.title, u"新規アイテム"_s);
        QCOMPARE(shown.url, u"http://"_s);
        QCOMPARE(shown.err, u"0"_s);
        QCOMPARE(shown.info, QString());
        QVERIFY(!shown.check2Byte);
        QCOMPARE(FilesInItemFolder(), QStringList{u"a.url"_s});
    }

    void newItem_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QByteArray>("before"); // existing file of that title, empty for none
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("new") << u"News"_s << QByteArray()
                             << QByteArray("[InternetShortcut]\r\nURL=http://127.0.0.1/p\r\n\r\n"
                                           "[SiteVigil]\r\nErr=3\r\nInfo=\r\nCheck2Byte=1\r\n");
        QTest::newRow("existing title")
            << u"a"_s << Foreign
            << QByteArray(
                   "[InternetShortcut]\r\nURL=http://127.0.0.1/p\r\nIconIndex=0\r\n[Other]\r\n"
                   "k=v\r\n[SiteVigil]\r\nErr=3\r\nInfo=\r\nCheck2Byte=1\r\n");
    }
    void newItem()
    {
        QFETCH(QString, title);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QMap<QString, QByteArray> files{{u"z.url"_s, Foreign}};
        if (!before.isEmpty())
            files.insert(title + u".url"_s, before);
        Open(files);
        ItemDialogInput shown;
        AnswerItemDialog(&shown, ItemDialogInput{title, u"http://127.0.0.1/p"_s, u"3"_s, {}, true});
        probe().NewItem();
        QCOMPARE(ReadAll(items + title + u".url"_s), after);
        QCOMPARE(Lines(list()).count(title), 1);
        QCOMPARE(window->windowTitle(), u"設定"_s);
        QVERIFY(capture->messages.isEmpty());
    }

    void newItemCancelled()
    {
        Open({{u"a.url"_s, Foreign}});
        WriteAll(items + u"late.url"_s, Foreign); // shows that the list is refreshed
        ItemDialogInput shown;
        AnswerItemDialog(&shown, std::nullopt);
        probe().NewItem();
        QCOMPARE(FilesInItemFolder(), (QStringList{u"a.url"_s, u"late.url"_s}));
        QCOMPARE(ReadAll(items + u"a.url"_s), Foreign);
        QCOMPARE(Lines(list()), (QStringList{u"a"_s, u"late"_s}));
    }

    void newItemInMissingFolder()
    {
        Open();
        QVERIFY(QDir(items).removeRecursively());
        ItemDialogInput shown;
        AnswerItemDialog(&shown,
                         ItemDialogInput{u"t"_s, u"http://127.0.0.1/"_s, u"0"_s, {}, false});
        probe().NewItem();
        // The failed write, and the refreshed pane tells why (the folder is gone).
        QCOMPARE(capture->messages.size(), 1);
        QVERIFY(capture->messages.first().contains(QDir::toNativeSeparators(items + u"t.url"_s)));
        QVERIFY(Notice().contains(u"フォルダ「%1」が見つかりません"_s.arg(items)));
        QVERIFY(!QDir(items).exists());
        QCOMPARE(list()->count(), 0);
        QCOMPARE(window->windowTitle(), u"設定"_s);
    }

    void editUnchangedKeepsForeignLines()
    {
        Open({{u"a.url"_s, Foreign}, {u"b.url"_s, Foreign}});
        Select(u"a"_s);
        ItemDialogInput shown;
        AnswerItemDialog(&shown,
                         ItemDialogInput{u"a"_s, u"http://old.example/"_s, u"1"_s, u"x"_s, false});
        probe().tbrSettingButton(2)->trigger();
        QCOMPARE(shown.title, u"a"_s);
        QCOMPARE(shown.url, u"http://old.example/"_s);
        QCOMPARE(shown.err, u"1"_s);
        QCOMPARE(shown.info, u"x"_s);
        QCOMPARE(
            ReadAll(items + u"a.url"_s),
            QByteArray("[InternetShortcut]\r\nURL=http://old.example/\r\nIconIndex=0\r\n[Other]\r\n"
                       "k=v\r\n[SiteVigil]\r\nErr=1\r\nInfo=x\r\nCheck2Byte=0\r\n"));
        QCOMPARE(Lines(list()), (QStringList{u"a"_s, u"b"_s}));
        QVERIFY(list()->selectedItems().isEmpty()); // the refresh drops the selection
    }

    void editWithNewTitleListsBoth()
    {
        Open({{u"a.url"_s, Foreign}});
        Select(u"a"_s);
        ItemDialogInput shown;
        AnswerItemDialog(&shown,
                         ItemDialogInput{u"c"_s, u"http://new.example/"_s, u"2"_s, u"9"_s, false});
        probe().EditItem();
        QCOMPARE(ReadAll(items + u"a.url"_s), Foreign);
        QCOMPARE(ReadAll(items + u"c.url"_s),
                 QByteArray("[InternetShortcut]\r\nURL=http://new.example/\r\n\r\n[SiteVigil]\r\n"
                            "Err=2\r\nInfo=9\r\nCheck2Byte=0\r\n"));
        QCOMPARE(Lines(list()), (QStringList{u"a"_s, u"c"_s}));
    }

    void editCancelledOrGone()
    {
        Open({{u"a.url"_s, Foreign}});
        Select(u"a"_s);
        QVERIFY(QFile::remove(items + u"a.url"_s));
        ItemDialogInput shown;
        AnswerItemDialog(&shown, std::nullopt);
        probe().lstSetting_DblClick();
        QCOMPARE(shown.title, u"a"_s); // a vanished file shows as an empty item
        QCOMPARE(shown.url, QString());
        QCOMPARE(shown.err, u"0"_s);
        QVERIFY(FilesInItemFolder().isEmpty());
        QCOMPARE(list()->count(), 0);
    }

    void editOfFileSpelledInAnotherCase()
    {
        Open({{u"Foo.URL"_s, Foreign}});
        Select(u"Foo"_s);
        ItemDialogInput shown;
        AnswerItemDialog(
            &shown, ItemDialogInput{u"Foo"_s, u"http://new.example/"_s, u"1"_s, u"x"_s, false});
        probe().EditItem();
        QCOMPARE(shown.url, u"http://old.example/"_s);
        QCOMPARE(FilesInItemFolder(), QStringList{u"Foo.URL"_s});
        QVERIFY(ReadAll(items + u"Foo.URL"_s).contains("URL=http://new.example/\r\nIconIndex=0"));

        Select(u"Foo"_s);
        probe().DeleteItem();
        QVERIFY(FilesInItemFolder().isEmpty());
        QVERIFY(capture->messages.isEmpty());
    }

    void withoutSelectionNothingHappens_data()
    {
        QTest::addColumn<int>("action"); // 0 Edit button, 1 Delete button, 2 double-click
        QTest::newRow("edit") << 0;
        QTest::newRow("delete") << 1;
        QTest::newRow("double-click") << 2;
    }
    void withoutSelectionNothingHappens()
    {
        QFETCH(int, action);
        Open({{u"a.url"_s, Foreign}});
        list()->setCurrentRow(0, QItemSelectionModel::NoUpdate); // current, not selected
        WriteAll(items + u"late.url"_s, Foreign);
        window->setWindowTitle(u"marker"_s);
        bool dialogShown = false;
        QPointer<QTimer> watch = OnModal([&dialogShown](QWidget* w) {
            dialogShown = true;
            w->close();
        });
        if (action == 0)
            probe().tbrSettingButton(2)->trigger();
        else if (action == 1)
            probe().tbrSettingButton(3)->trigger();
        else
            probe().lstSetting_DblClick();
        QTest::qWait(50);
        delete watch.data();
        QVERIFY(!dialogShown);
        QCOMPARE(Lines(list()), QStringList{u"a"_s}); // not refreshed
        QCOMPARE(window->windowTitle(), u"marker"_s);
        QCOMPARE(ReadAll(items + u"a.url"_s), Foreign);
        QVERIFY(capture->messages.isEmpty());
    }

    void deleteItem()
    {
        Open({{u"a.url"_s, Foreign}, {u"b.url"_s, Foreign}});
        Select(u"b"_s);
        probe().tbrSettingButton(3)->trigger();
        QCOMPARE(FilesInItemFolder(), QStringList{u"a.url"_s});
        QCOMPARE(Lines(list()), QStringList{u"a"_s});
        QVERIFY(capture->messages.isEmpty());
    }

    void deleteFailureIsReported_data()
    {
        QTest::addColumn<bool>("readOnly"); // otherwise the file has gone meanwhile
        QTest::newRow("gone") << false;
        QTest::newRow("read-only") << true;
    }
    void deleteFailureIsReported()
    {
        QFETCH(bool, readOnly);
        Open({{u"a.url"_s, Foreign}, {u"b.url"_s, Foreign}});
        Select(u"a"_s);
        const QString path = items + u"a.url"_s;
        if (readOnly)
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
        else
            QVERIFY(QFile::remove(path));
        probe().DeleteItem();
        QCOMPARE(capture->messages.size(), 1);
        QVERIFY(capture->messages.first().contains(u"「a」"_s));
        QVERIFY(capture->messages.first().contains(QDir::toNativeSeparators(path)));
        QCOMPARE(QFile::exists(path), readOnly);
        QCOMPARE(Lines(list()), readOnly ? (QStringList{u"a"_s, u"b"_s}) : QStringList{u"b"_s});
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    }

    void editOfReadOnlyFileIsReported()
    {
        Open({{u"a.url"_s, Foreign}});
        const QString path = items + u"a.url"_s;
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
        Select(u"a"_s);
        ItemDialogInput shown;
        AnswerItemDialog(&shown,
                         ItemDialogInput{u"a"_s, u"http://new.example/"_s, u"1"_s, {}, false});
        probe().EditItem();
        QCOMPARE(capture->messages.size(), 1);
        QVERIFY(capture->messages.first().contains(u"「a」"_s));
        QCOMPARE(ReadAll(path), Foreign);
        QCOMPARE(Lines(list()), QStringList{u"a"_s});
        QCOMPARE(window->windowTitle(), u"設定"_s);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    }

    void optionsWithNewFolder()
    {
        Open({{u"a.url"_s, Foreign}});
        const QString other = outside->path() + u"/other/"_s;
        QVERIFY(QDir().mkpath(other));
        WriteAll(other + u"x.url"_s, Foreign);
        WriteAll(other + u"y.url"_s, Foreign);
        QString caption;
        OnModal([&caption, other](QWidget* w) {
            caption = w->windowTitle();
            w->findChild<QLineEdit*>(u"txtFolderPath"_s)->setText(other);
            w->findChild<QPushButton*>(u"cmdOK"_s)->click();
        });
        probe().tbrSettingButton(4)->trigger();
        QCOMPARE(caption, u"オプション設定"_s);
        QCOMPARE(Lines(list()), (QStringList{u"x"_s, u"y"_s}));
        QCOMPARE(probe().FolderPath(), other);
        QCOMPARE(probe().ExitAfterSave(), qint16(1)); // taken at the next load only

        OnModal([](QWidget* w) { w->findChild<QPushButton*>(u"cmdCancel"_s)->click(); });
        WriteAll(other + u"z.url"_s, Foreign);
        probe().ShowOptions();
        QCOMPARE(Lines(list()), (QStringList{u"x"_s, u"y"_s, u"z"_s}));
    }

    void dropImportsShortcutsOnly()
    {
        Open({{u"keep.url"_s, Foreign}});
        const QByteArray bare = "[InternetShortcut]\r\nURL=http://127.0.0.1/b\r\n";
        WriteAll(outside->path() + u"/a.url"_s, Foreign);
        WriteAll(outside->path() + u"/b.URL"_s, bare);
        WriteAll(outside->path() + u"/c.txt"_s, "text");
        std::unique_ptr<QMimeData> data(
            FileDrop({outside->path() + u"/a.url"_s, outside->path() + u"/b.URL"_s,
                      outside->path() + u"/c.txt"_s}));
        probe().lstSetting_OLEDragDrop(data.get());
        QCOMPARE(FilesInItemFolder(), (QStringList{u"a.url"_s, u"b.URL"_s, u"keep.url"_s}));
        QCOMPARE(ReadAll(items + u"a.url"_s), Foreign);
        QCOMPARE(ReadAll(items + u"b.URL"_s), bare);
        QCOMPARE(Lines(list()), (QStringList{u"a"_s, u"b"_s, u"keep"_s}));
        QVERIFY(QFile::exists(outside->path() + u"/a.url"_s)); // the dropped files stay
        QVERIFY(capture->messages.isEmpty());

        // A shortcut without the private section is an item like any other.
        QCOMPARE(ItemFields(ReadItemFile(items, Files::Path(u"b.URL"_s))),
                 ItemFields({u"b"_s, u"http://127.0.0.1/b"_s, 0, {}, 0}));
    }

    void dropReplacesItemWhateverTheCase_data()
    {
        QTest::addColumn<QString>("existing");
        QTest::addColumn<QString>("dropped");
        QTest::newRow("same name") << u"News.url"_s << u"News.url"_s;
        QTest::newRow("other case") << u"news.url"_s << u"NEWS.URL"_s;
    }
    void dropReplacesItemWhateverTheCase()
    {
        QFETCH(QString, existing);
        QFETCH(QString, dropped);
        Open({{existing, Foreign}});
        const QByteArray replacement = "[InternetShortcut]\r\nURL=http://127.0.0.1/new\r\n";
        WriteAll(outside->path() + u'/' + dropped, replacement);
        std::unique_ptr<QMimeData> data(FileDrop({outside->path() + u'/' + dropped}));
        probe().lstSetting_OLEDragDrop(data.get());
        QCOMPARE(FilesInItemFolder(), QStringList{existing});
        QCOMPARE(ReadAll(items + existing), replacement);
        QCOMPARE(list()->count(), 1);
    }

    void dropOfLinkCopiesTheFile()
    {
        Open();
        WriteAll(outside->path() + u"/target.url"_s, Foreign);
        QVERIFY(QFile::link(outside->path() + u"/target.url"_s, outside->path() + u"/link.url"_s));
        std::unique_ptr<QMimeData> data(FileDrop({outside->path() + u"/link.url"_s}));
        probe().lstSetting_OLEDragDrop(data.get());
        const QFileInfo copied(items + u"link.url"_s);
        QVERIFY(copied.isFile());
        QVERIFY(!copied.isSymLink());
        QCOMPARE(ReadAll(copied.filePath()), Foreign);
    }

    void dropWithoutFiles()
    {
        Open({{u"a.url"_s, Foreign}});
        WriteAll(items + u"late.url"_s, Foreign);
        QMimeData text;
        text.setText(u"/tmp/x.url"_s);
        probe().lstSetting_OLEDragDrop(&text);
        QCOMPARE(FilesInItemFolder(), (QStringList{u"a.url"_s, u"late.url"_s}));
        QCOMPARE(Lines(list()), (QStringList{u"a"_s, u"late"_s})); // refreshed all the same
        QVERIFY(capture->messages.isEmpty());
    }

    void dropFailuresAreReportedOnceAndTheRestImported()
    {
        Open({{u"self.url"_s, Foreign}});
        QVERIFY(QDir(outside->path()).mkdir(u"folder.url"_s));
        WriteAll(outside->path() + u"/good.url"_s, Foreign);
        const QStringList dropped{items + u"self.url"_s, outside->path() + u"/folder.url"_s,
                                  outside->path() + u"/gone.url"_s,
                                  outside->path() + u"/good.url"_s};
        std::unique_ptr<QMimeData> data(FileDrop(dropped));
        probe().lstSetting_OLEDragDrop(data.get());
        QCOMPARE(capture->messages.size(), 1);
        for (int i = 0; i < 3; ++i)
            QVERIFY2(capture->messages.first().contains(QDir::toNativeSeparators(dropped.at(i))),
                     qPrintable(capture->messages.first()));
        QVERIFY(!capture->messages.first().contains(u"good.url"_s));
        QCOMPARE(ReadAll(items + u"self.url"_s), Foreign); // not emptied by copying onto itself
        QCOMPARE(ReadAll(items + u"good.url"_s), Foreign);
        QCOMPARE(FilesInItemFolder(), (QStringList{u"good.url"_s, u"self.url"_s}));
        QCOMPARE(Lines(list()), (QStringList{u"good"_s, u"self"_s}));
        QCOMPARE(window->windowTitle(), u"設定"_s);
    }

    // A dropped file never replaces an item that is a link to a file outside the folder.
    void dropOntoLinkOutside()
    {
        Open();
        const QString notes = outside->path() + u"/notes.txt"_s;
        WriteAll(notes, "my notes");
        QVERIFY(QFile::link(notes, items + u"a.url"_s));
        WriteAll(outside->path() + u"/a.url"_s, Foreign);
        std::unique_ptr<QMimeData> data(FileDrop({outside->path() + u"/a.url"_s}));
        probe().lstSetting_OLEDragDrop(data.get());
        QCOMPARE(ReadAll(notes), "my notes"_ba);
        QCOMPARE(capture->messages.size(), 1);
        QVERIFY2(capture->messages.first().contains(u"notes.txt"_s),
                 qPrintable(capture->messages.first()));
    }

    void dropIntoMissingFolder()
    {
        Open();
        QVERIFY(QDir(items).removeRecursively());
        WriteAll(outside->path() + u"/a.url"_s, Foreign);
        std::unique_ptr<QMimeData> data(FileDrop({outside->path() + u"/a.url"_s}));
        probe().lstSetting_OLEDragDrop(data.get());
        // The refreshed pane tells that the folder is gone, the box the import failure.
        QCOMPARE(capture->messages.size(), 1);
        QVERIFY(Notice().contains(u"フォルダ「%1」が見つかりません"_s.arg(items)));
        QVERIFY(capture->messages.last().contains(
            QDir::toNativeSeparators(outside->path() + u"/a.url"_s)));
        QVERIFY(!QDir(items).exists());
        QCOMPARE(list()->count(), 0);
    }

    void shiftJisNameEditedAndDeletedInPlace()
    {
        Open();
        const QByteArray sjis = "\x83\x6a\x83\x85\x81\x5b\x83\x58.url"_ba; // ニュース.url
        WriteNative(QFile::encodeName(items) + sjis, Foreign);
        probe().RefreshSettingList();
        Select(u"ニュース"_s);
        ItemDialogInput shown;
        AnswerItemDialog(&shown, ItemDialogInput{u"ニュース"_s, u"http://new.example/"_s, u"1"_s,
                                                 u"x"_s, false});
        probe().EditItem();
        QCOMPARE(shown.url, u"http://old.example/"_s);
        QVERIFY(ReadNative(QFile::encodeName(items) + sjis).contains("URL=http://new.example/"));
        QCOMPARE(NativeNames(items), QList<QByteArray>{sjis});

        // A title typed anew is a new file with a UTF-8 name; the old one stays.
        Select(u"ニュース"_s);
        AnswerItemDialog(&shown,
                         ItemDialogInput{u"ニュース2"_s, u"http://2/"_s, u"1"_s, {}, false});
        probe().EditItem();
        QCOMPARE(NativeNames(items), (QList<QByteArray>{sjis, u"ニュース2.url"_s.toUtf8()}));

        Select(u"ニュース"_s);
        probe().DeleteItem();
        QCOMPARE(NativeNames(items), QList<QByteArray>{u"ニュース2.url"_s.toUtf8()});
        QVERIFY(capture->messages.isEmpty());
    }

    void dropRefusesNamesNoNewFileCanHave()
    {
        Open();
        const QStringList dropped{outside->path() + u"/.x.url"_s, outside->path() + u"/CON.url"_s,
                                  outside->path() + u"/good.url"_s};
        for (const QString& path : dropped)
            WriteAll(path, Foreign);
        std::unique_ptr<QMimeData> data(FileDrop(dropped));
        probe().lstSetting_OLEDragDrop(data.get());
        QCOMPARE(FilesInItemFolder(), QStringList{u"good.url"_s});
        QCOMPARE(capture->messages.size(), 1);
        QVERIFY(capture->messages.first().contains(u".x.url"_s));
        QVERIFY(capture->messages.first().contains(u"CON.url"_s));
        QVERIFY(!capture->messages.first().contains(u"good.url"_s));
    }

    // The catalogue takes the first MaxItems files and says so once; the list shows them all.
    void moreFilesThanTheCatalogueHolds()
    {
        // In memory where possible, since creating the files dominates the test's time.
        QTemporaryDir many(QDir(u"/dev/shm"_s).exists()
                               ? u"/dev/shm/tst_SettingPane-XXXXXX"_s
                               : QDir::tempPath() + u"/tst_SettingPane-XXXXXX"_s);
        QVERIFY(many.isValid());
        for (int i = 0; i < MaxItems + 2; ++i)
            QVERIFY(QFile(many.filePath(u"%1.url"_s.arg(i, 6, 10, QChar(u'0'))))
                        .open(QIODevice::WriteOnly));
        WriteAll(program->ini(), "[Option]\r\nFolderPath=" + many.path().toUtf8() + "/\r\n");
        window = std::make_unique<frmMain>();
        QCOMPARE(probe().LastIndex(), qint16(MaxItems - 1));
        QCOMPARE(probe().Items().last().Title, u"%1"_s.arg(MaxItems - 1, 6, 10, QChar(u'0')));
        QCOMPARE(capture->messages.size(), 1);
        QVERIFY(capture->messages.first().contains(QString::number(MaxItems + 2)));
        probe().tabMain()->setCurrentIndex(1); // stops the run
        QCOMPARE(list()->count(), MaxItems + 2);
    }

    void dropThroughTheList()
    {
        Open();
        WriteAll(outside->path() + u"/a.url"_s, Foreign);
        std::unique_ptr<QMimeData> data(FileDrop({outside->path() + u"/a.url"_s}));
        QWidget* viewport = list()->viewport();
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(Lines(list()), QStringList{u"a"_s});

        // A link from a browser carries no file, and is accepted all the same.
        QMimeData link;
        link.setData(u"text/x-moz-url"_s, u"http://example.com/"_s.toUtf8());
        QDragEnterEvent linkEnter(QPoint(5, 5), Qt::CopyAction, &link, Qt::LeftButton,
                                  Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &linkEnter);
        QVERIFY(linkEnter.isAccepted());
    }

    // Web links become items as New writes them; the lines made are selected afterwards.
    void dropOfWebLinks_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("text"); // %OUT%: the folder dropped files come from
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<QString>("named"); // in the one message; empty: no message
        QTest::newRow("mixed .url file and link")
            << u"text/uri-list"_s << u"file://%OUT%/a.url\r\nhttp://example.com/news\r\n"_s
            << QStringList{u"a"_s, u"example.com news"_s, u"News"_s}
            << QStringList{u"example.com news"_s} << QString();
        QTest::newRow("same title: same URL, then another")
            << u"_NETSCAPE_URL"_s << u"http://old.example/\nNews\nhttp://b.example/\nNews"_s
            << QStringList{u"News (2)"_s, u"News"_s} << QStringList{u"News"_s, u"News (2)"_s}
            << QString();
        QTest::newRow("javascript refused and named, the rest taken")
            << u"text/plain"_s << u"javascript:alert(1)\nhttps://例え.jp/ニュース\n"_s
            << QStringList{u"News"_s, u"例え.jp ニュース"_s} << QStringList{u"例え.jp ニュース"_s}
            << u"javascript:alert(1)"_s;
    }
    void dropOfWebLinks()
    {
        QFETCH(QString, format);
        QFETCH(QString, text);
        QFETCH(QString, named);
        Open({{u"News.url"_s, Foreign}});
        WriteAll(outside->path() + u"/a.url"_s, Foreign);
        QMimeData data;
        data.setData(format, text.replace(u"%OUT%"_s, outside->path()).toUtf8());
        probe().lstSetting_OLEDragDrop(&data);
        QTEST(Lines(list()), "lines");
        QStringList selected;
        for (const QListWidgetItem* row : list()->selectedItems())
            selected.append(row->text());
        selected.sort();
        QTEST(selected, "selected");
        QCOMPARE(ReadAll(items + u"News.url"_s), Foreign);
        QCOMPARE(capture->messages.size(), named.isEmpty() ? 0 : 1);
        if (!named.isEmpty())
            QVERIFY(capture->messages.first().contains(named));
        const QString made = selected.last();
        if (made != u"News"_s)
            QCOMPARE(ReadItemFile(items, Files::Path(made + u".url"_s)).Info, QString());
    }

    void webLinkIsWrittenAsNewWritesIt()
    {
        Open();
        QMimeData data;
        data.setText(u"https://example.com/café"_s); // é has no CP932 form
        probe().lstSetting_OLEDragDrop(&data);
        QCOMPARE(ReadAll(items + u"example.com café.url"_s),
                 "[InternetShortcut]\r\nURL=https://example.com/caf%C3%A9"
                 "\r\n\r\n[SiteVigil]\r\nErr=0\r\nInfo=\r\nCheck2Byte=0\r\n"_ba);
    }

    void pasteTakesTheClipboard()
    {
        Open();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->activateWindow();
        list()->setFocus();
        auto* data = new QMimeData;
        data->setData(u"text/x-moz-url"_s, u"http://example.com/\n例のページ"_s.toUtf8());
        QGuiApplication::clipboard()->setMimeData(data);
        auto* paste = list()->findChild<QAction*>(u"PasteURL"_s);
        QVERIFY(paste && list()->actions().contains(paste));
        QCOMPARE(paste->text(), u"URLを貼り付け"_s);
        QTest::keyClick(list(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(Lines(list()), QStringList{u"例のページ"_s});
        QCOMPARE(list()->currentItem()->text(), u"例のページ"_s);
    }
};

QTEST_MAIN(tst_frmMain_SettingPane)
#include "tst_frmMain_SettingPane.moc"
