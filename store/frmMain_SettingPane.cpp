#include "app/FileIO.h"
#include "app/MsgBox.h"
#include "app/frmMain.h"
#include "app/frmOption.h"
#include "edit/frmItemSet.h"
#include "store/FileSystem.h"
#include "store/ItemFolder.h"
#include "store/NativeFile.h"
#include "store/WebLinks.h"
#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QKeySequence>
#include <QListWidget>
#include <QMimeData>
#include <QSet>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace
{

// The selected line of a list box, -1 when none.
int ListIndex(const QListWidget* list)
{
    const QListWidgetItem* item = list->currentItem();
    return item && item->isSelected() ? list->row(item) : -1;
}

// The name of the file a line of the Setting list stands for, as the listing found it.
QByteArray LineFileName(const QListWidget* list, int index)
{
    return list->item(index)->data(Qt::UserRole).toByteArray();
}

// Copies source over an existing item file, which may have a name no QString reaches.
FileResult CopyOnto(const QString& source, const QByteArray& destination)
{
    if (const QString path = NativeFile::ReachablePath(destination); !path.isNull())
        return FileSystem::CopyFile(source, path);
    QByteArray bytes;
    QString error;
    if (!FileIO::ReadAll(source, &bytes, &error))
        return {false, u"ファイル「%1」を読み込めません: %2"_s.arg(source, error)};
    if (const QString message = NativeFile::WriteAtomically(destination, bytes);
        !message.isEmpty())
        return {false, message};
    return {};
}

// A bookmarklet can be thousands of characters long; the message names it by its start.
QString Shortened(const QString& text)
{
    constexpr qsizetype MaxShown = 100;
    return text.size() <= MaxShown ? text : text.left(MaxShown) + u'…';
}

// A pasted text may hold many links of another scheme: the message stays readable.
QString FirstOf(const QStringList& failures)
{
    constexpr int MaxShown = 20;
    QStringList shown = failures.mid(0, MaxShown);
    if (failures.size() > MaxShown)
        shown.append(u"ほか %1 件"_s.arg(failures.size() - MaxShown));
    return shown.join(u'\n');
}

} // namespace

void frmMain::tbrSetting_ButtonClick(QAction* Button)
{
    const QString key = Button ? Button->objectName() : QString();
    if (key == u"New"_s)
        NewItem();
    else if (key == u"Edit"_s)
        EditItem();
    else if (key == u"Delete"_s)
        DeleteItem();
    else if (key == u"Option"_s)
        ShowOptions();
}

void frmMain::lstSetting_DblClick()
{
    EditItem();
}

void frmMain::NewItem()
{
    ItemRecord item;
    item.Title = u"新規アイテム"_s;
    item.URL = u"http://"_s;
    ShowItemDialog(item);
}

void frmMain::EditItem()
{
    const int index = ListIndex(lstSetting);
    if (index < 0)
        return;
    ShowItemDialog(ReadItemFile(LineFileName(lstSetting, index)));
}

void frmMain::ShowItemDialog(const ItemRecord& shown)
{
    frmItemSet& dialog = frmItemSet::Instance();
    dialog.Title = shown.Title;
    dialog.URL = shown.URL;
    dialog.Err = shown.Err;
    dialog.Info = shown.Info;
    dialog.Check2Byte = shown.Check2Byte;
    dialog.exec();
    if (!dialog.Cancelled) {
        ItemRecord item;
        item.Title = dialog.Title;
        item.URL = dialog.URL;
        item.Err = dialog.Err;
        item.Info = dialog.Info;
        item.Check2Byte = dialog.Check2Byte;
        // The file shown is rewritten in place; a title typed anew makes a file of its own.
        if (item.Title == shown.Title)
            item.FileName = shown.FileName;
        QStringList failures;
        WriteItemFile(item, failures);
        ReportWriteFailures(failures);
    }
    RefreshSettingList();
}

void frmMain::DeleteItem()
{
    const int index = ListIndex(lstSetting);
    if (index < 0)
        return;
    const FileResult result =
        NativeFile::Delete(ListedFilePath(FolderPath, LineFileName(lstSetting, index)));
    if (!result.ok)
        MsgBox(u"アイテム「%1」を削除できませんでした。\n%2"_s.arg(lstSetting->item(index)->text(),
                                                                   result.message),
               this);
    RefreshSettingList();
}

void frmMain::ShowOptions()
{
    {
        frmOption dialog;
        dialog.exec();
    }
    RefreshSettingList();
}

void frmMain::lstSetting_OLEDragDrop(const QMimeData* Data)
{
    QStringList failures;
    const QList<QUrl> urls = Data && Data->hasUrls() ? Data->urls() : QList<QUrl>{};
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        const QString source = url.toLocalFile();
        if (source.right(4).toLower() != u".url"_s)
            continue;

        // An item of the same name in another letter case takes the copy. A new file needs a
        // name that works here and on Windows, or it would never be listed or saved.
        const QString name = FileSystem::GetFileName(source);
        const QByteArray existing = FindItemFile(FolderPath, name);
        if (existing.isEmpty()) {
            if (const QString problem = TitleProblem(name.left(name.size() - 4));
                !problem.isEmpty()) {
                failures.append(u"%1\n    %2"_s.arg(QDir::toNativeSeparators(source), problem));
                continue;
            }
        }
        const FileResult result = existing.isEmpty()
            ? FileSystem::CopyFile(source, FolderPath + name)
            : CopyOnto(source, ListedFilePath(FolderPath, existing));
        if (!result.ok)
            failures.append(u"%1\n    %2"_s.arg(QDir::toNativeSeparators(source), result.message));
    }
    QStringList linkFailures;
    const QStringList titles = WriteWebLinks(LinksIn(Data), linkFailures);
    RefreshSettingList();
    SelectTitles(titles);
    QStringList said;
    if (!failures.isEmpty())
        said.append(u"次のファイルを取り込めませんでした。\n\n"_s + failures.join(u'\n'));
    if (!linkFailures.isEmpty())
        said.append(u"次のリンクを取り込めませんでした。\n\n"_s + FirstOf(linkFailures));
    if (!said.isEmpty())
        MsgBox(said.join(u"\n\n"_s), this);
}

void frmMain::lstSetting_Paste()
{
    lstSetting_OLEDragDrop(QGuiApplication::clipboard()->mimeData());
}

void frmMain::CreatePasteAction()
{
    auto* paste = new QAction(u"URLを貼り付け"_s, lstSetting);
    paste->setObjectName(u"PasteURL"_s);
    paste->setShortcut(QKeySequence::Paste);
    paste->setShortcutContext(Qt::WidgetShortcut);
    lstSetting->addAction(paste);
    lstSetting->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(paste, &QAction::triggered, this, &frmMain::lstSetting_Paste);
}

QStringList frmMain::WriteWebLinks(const WebLinks& links, QStringList& failures)
{
    for (const RefusedLink& refused : links.Refused)
        failures.append(u"%1\n    %2"_s.arg(Shortened(refused.Text), refused.Reason));
    QStringList titles;
    for (const WebLink& link : links.Links) {
        const LinkPlacement place = PlaceLink(FolderPath, link);
        if (!place.Present) {
            ItemRecord item; // as NewItem gives it: Err 0, Info empty, Check2Byte 0
            item.Title = place.Title;
            item.URL = link.URL;
            if (!WriteItemFile(item, failures))
                continue;
        }
        // A link already there is shown too, so the drop is seen to have found it.
        titles.append(place.Title);
    }
    return titles;
}

void frmMain::SelectTitles(const QStringList& titles)
{
    QSet<QString> wanted;
    for (const QString& title : titles)
        wanted.insert(title.toCaseFolded());
    bool first = true;
    for (int i = 0; i < lstSetting->count() && !wanted.isEmpty(); ++i) {
        QListWidgetItem* row = lstSetting->item(i);
        if (!wanted.contains(row->text().toCaseFolded()))
            continue;
        if (first) {
            lstSetting->setCurrentItem(row);
            lstSetting->scrollToItem(row);
            first = false;
        } else {
            // The list selects one line at a time; the model holds several.
            lstSetting->selectionModel()->select(lstSetting->model()->index(i, 0),
                                                 QItemSelectionModel::Select);
        }
    }
}
