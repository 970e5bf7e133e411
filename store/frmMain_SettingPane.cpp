#include "app/Files.h"
#include "app/MsgBox.h"
#include "app/X11Clipboard.h"
#include "app/frmMain.h"
#include "app/frmOption.h"
#include "check/PageFilter.h"
#include "edit/frmFilterSet.h"
#include "edit/frmItemSet.h"
#include "store/FilterRules.h"
#include "store/ItemFile.h"
#include "store/ItemFolder.h"
#include "store/WebLinks.h"
#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QItemSelection>
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

// A bookmarklet can be thousands of characters long; the message names it by its start.
QString Shortened(const QString& text)
{
    constexpr qsizetype MaxShown = 100;
    return text.size() <= MaxShown ? text : text.left(MaxShown) + u'…';
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
        item.FileName = shown.FileName; // kept while the title is (PlaceItemFile)
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
        Files::Delete(ListedFilePath(FolderPath, LineFileName(lstSetting, index)));
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

        // The file's own name as the file system spells it.
        const ItemFilePlace place = PlaceItemFile(FolderPath, QFileInfo(source).fileName());
        const FileResult result = place.problem.isEmpty()
                                      ? Files::Copy(Files::Path(source), place.path)
                                      : FileResult::Failure(place.problem);
        if (!result.ok)
            failures.append(u"%1\n    %2"_s.arg(QDir::toNativeSeparators(source), result.message));
    }
    QStringList linkFailures;
    const QStringList titles = WriteWebLinks(LinksIn(Data), linkFailures);
    RefreshSettingList();
    SelectTitles(titles);
    QStringList said;
    if (!failures.isEmpty())
        said.append(u"次のファイルを取り込めませんでした。\n\n"_s +
                    ListWithin(failures, MsgBoxListLines));
    if (!linkFailures.isEmpty())
        said.append(u"次のリンクを取り込めませんでした。\n\n"_s +
                    ListWithin(linkFailures, MsgBoxListLines));
    // The box stays within the screen; a longer list is whole in its details.
    const bool cut = failures.size() > MsgBoxListLines || linkFailures.size() > MsgBoxListLines;
    if (!said.isEmpty())
        MsgBox(said.join(u"\n\n"_s), this, cut ? (failures + linkFailures).join(u'\n') : QString());
}

void frmMain::lstSetting_Paste()
{
    const QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* data = clipboard->mimeData();
    // Qt's X11 clipboard turns a browser's text/x-moz-url into a uri-list of its first link,
    // without titles, and never gives the form itself: it is read past Qt. Not when the
    // clipboard is our own: its owner would be this very thread, blocked in the wait.
    if (QGuiApplication::platformName() == u"xcb"_s && !clipboard->ownsClipboard()) {
        if (const std::optional<QByteArray> moz = X11ClipboardData("text/x-moz-url");
            moz && !moz->isEmpty()) {
            QMimeData withMoz;
            if (data && data->hasUrls())
                withMoz.setUrls(data->urls());
            withMoz.setData(u"text/x-moz-url"_s, *moz);
            lstSetting_OLEDragDrop(&withMoz);
            return;
        }
    }
    lstSetting_OLEDragDrop(data);
}

void frmMain::CreatePasteAction()
{
    QAction* paste =
        AddMenuAction(lstSetting, u"URLを貼り付け"_s, u"PasteURL"_s, &frmMain::lstSetting_Paste);
    paste->setShortcut(QKeySequence::Paste);
    paste->setShortcutContext(Qt::WidgetShortcut);
    paste->setEnabled(true);
    lstSetting->setContextMenuPolicy(Qt::ActionsContextMenu);
}

void frmMain::CreateFilterRulesAction()
{
    QAction* rules = AddMenuAction(lstSetting, u"判定ルール(&R)..."_s, u"FilterRules"_s,
                                   &frmMain::EditFilterRules);
    lstSetting->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(lstSetting, &QListWidget::itemSelectionChanged, rules,
            [this, rules] { rules->setEnabled(ListIndex(lstSetting) >= 0); });
}

void frmMain::EditFilterRules()
{
    const int index = ListIndex(lstSetting);
    if (index < 0)
        return;
    const QByteArray fileName = LineFileName(lstSetting, index);
    const FilterRules stored = ReadFilterRules(FolderPath, fileName);
    frmFilterSet& dialog = frmFilterSet::Instance();
    dialog.Title = lstSetting->item(index)->text();
    dialog.Select = stored.select;
    dialog.Ignore = stored.ignore;
    dialog.Validate = [](const QString& select, const QStringList& ignore) -> QString {
        if (const QString why = SelectorError(select); !select.isEmpty() && !why.isEmpty())
            return u"判定する範囲「%1」は CSS セレクタとして使えません: %2"_s.arg(select, why);
        for (const QString& pattern : ignore) {
            if (const QString why = PatternError(pattern); !why.isEmpty())
                return u"無視する文字「%1」は正規表現として使えません: %2"_s.arg(pattern, why);
        }
        return {};
    };
    dialog.exec();
    if (dialog.Cancelled)
        return;
    const FileResult result =
        WriteFilterRules(FolderPath, fileName, FilterRules{dialog.Select, dialog.Ignore});
    if (!result.ok) {
        QStringList failures{u"「%1」\n    %2"_s.arg(dialog.Title, result.message)};
        ReportWriteFailures(failures);
    }
}

QStringList frmMain::WriteWebLinks(const WebLinks& links, QStringList& failures)
{
    for (const RefusedLink& refused : links.Refused)
        failures.append(u"%1\n    %2"_s.arg(Shortened(refused.Text), refused.Reason));
    // Placed one after the other as if each were written at once; then written together,
    // which waits for the disk once rather than once a file.
    QList<LinkPlacement> places;
    QList<ItemRecord> items;
    QList<qsizetype> itemAt; // the place of each item
    LinkPlacer placer(FolderPath);
    for (const WebLink& link : links.Links) {
        const LinkPlacement place = placer.Place(link);
        if (!place.Present) {
            ItemRecord item; // as NewItem gives it: Err 0, Info empty, Check2Byte 0
            item.Title = place.Title;
            item.URL = link.URL;
            item.FileName = place.FileName; // the listing already said there is none
            items.append(item);
            itemAt.append(places.size());
            placer.Written(place, link);
        }
        places.append(place);
    }
    QList<bool> shown(places.size(), true);
    const QList<FileResult> written = WriteItemFiles(FolderPath, items);
    for (qsizetype i = 0; i < written.size(); ++i) {
        if (written.at(i).ok)
            continue;
        failures.append(u"「%1」\n    %2"_s.arg(items.at(i).Title, written.at(i).message));
        shown[itemAt.at(i)] = false;
    }
    // A link already there is shown too, so the drop is seen to have found it.
    QStringList titles;
    for (qsizetype i = 0; i < places.size(); ++i) {
        if (shown.at(i))
            titles.append(places.at(i).Title);
    }
    return titles;
}

void frmMain::SelectTitles(const QStringList& titles)
{
    QSet<QString> wanted;
    for (const QString& title : titles)
        wanted.insert(title.toCaseFolded());
    bool first = true;
    // The list selects one line at a time; the model holds several, given in one selection
    // (a select per line costs the view a pass over all lines selected so far).
    QItemSelection more;
    for (int i = 0; i < lstSetting->count() && !wanted.isEmpty(); ++i) {
        QListWidgetItem* row = lstSetting->item(i);
        if (!wanted.contains(row->text().toCaseFolded()))
            continue;
        if (first) {
            lstSetting->setCurrentItem(row);
            lstSetting->scrollToItem(row);
            first = false;
        } else {
            const QModelIndex index = lstSetting->model()->index(i, 0);
            more.select(index, index);
        }
    }
    if (!more.isEmpty())
        lstSetting->selectionModel()->select(more, QItemSelectionModel::Select);
}
