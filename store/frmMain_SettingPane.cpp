#include "app/Files.h"
#include "app/MsgBox.h"
#include "app/frmMain.h"
#include "app/frmOption.h"
#include "edit/frmItemSet.h"
#include "store/ItemFile.h"
#include "store/ItemFolder.h"
#include <QAction>
#include <QDir>
#include <QFileInfo>
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

// The name of the file a line of the Setting list stands for, as the listing found it.
QByteArray LineFileName(const QListWidget* list, int index)
{
    return list->item(index)->data(Qt::UserRole).toByteArray();
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
    RefreshSettingList();
    if (!failures.isEmpty())
        MsgBox(u"次のファイルを取り込めませんでした。\n\n"_s + ListWithin(failures, MsgBoxListLines),
               this, failures.size() > MsgBoxListLines ? failures.join(u'\n') : QString());
}
