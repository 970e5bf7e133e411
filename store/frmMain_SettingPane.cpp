#include "app/MsgBox.h"
#include "app/frmMain.h"
#include "app/frmOption.h"
#include "edit/frmItemSet.h"
#include "store/FileSystem.h"
#include "store/ItemFolder.h"
#include <QAction>
#include <QDir>
#include <QListWidget>
#include <QMimeData>
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
    ShowItemDialog(ReadItemFile(lstSetting->item(index)->text() + u".url"_s));
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
    const QString path = ItemFilePath(FolderPath, lstSetting->item(index)->text() + u".url"_s);
    const FileResult result = FileSystem::DeleteFile(path);
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

        // An item of the same name in another letter case takes the copy.
        const FileResult result =
            FileSystem::CopyFile(source, ItemFilePath(FolderPath, FileSystem::GetFileName(source)));
        if (!result.ok)
            failures.append(u"%1\n    %2"_s.arg(QDir::toNativeSeparators(source), result.message));
    }
    RefreshSettingList();
    if (!failures.isEmpty())
        MsgBox(u"次のファイルを取り込めませんでした。\n\n"_s + failures.join(u'\n'), this);
}
