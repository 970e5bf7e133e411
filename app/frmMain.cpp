#include "app/frmMain.h"
#include "app/DesktopNotifier.h"
#include "app/Files.h"
#include "app/Module1.h"
#include "app/MsgBox.h"
#include "app/Settings.h"
#include "app/Twips.h"
#include "app/frmMain_Controls.h"
#include "check/BrowserLauncher.h"
#include "check/Inet.h"
#include "check/KeptPages.h"
#include "check/RunResults.h"
#include "store/ItemFile.h"
#include "store/ItemFolder.h"
#include <QAction>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QStackedWidget>
#include <QStyle>
#include <QTabBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace
{

// The design gives no size for the main window; this is about 400 x 320 pixels at 96 dpi.
constexpr int WindowWidthTwips = 6000;
constexpr int WindowHeightTwips = 4800;

QIcon Picture(const char* name)
{
    return QIcon(u":/resources/icons/"_s + QString::fromLatin1(name) + u".png"_s);
}

struct Pane {
    QWidget* widget = nullptr;
    QToolBar* toolBar = nullptr;
    ItemList* list = nullptr;
};

// One pane of the window, its toolbar over its list box; the controls are named after the
// pane's key (pctCheck, tbrCheck, lstCheck).
Pane MakePane(QStackedWidget* panes, const QString& key, const QString& toolBarName,
              const QList<QIcon>& images, const QList<std::pair<QString, QString>>& buttons,
              const QString& listName)
{
    auto* widget = new QWidget(panes);
    widget->setObjectName(u"pct"_s + key);
    auto* v = new QVBoxLayout(widget);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(4);
    QToolBar* toolBar = MakeToolBar(widget, u"tbr"_s + key, toolBarName, images, buttons);
    v->addWidget(toolBar);
    auto* list = new ItemList(widget);
    list->setObjectName(u"lst"_s + key);
    list->setAccessibleName(listName);
    v->addWidget(list, 1);
    panes->addWidget(widget);
    return {widget, toolBar, list};
}

} // namespace

frmMain::frmMain(QWidget* parent) : frmMain(StartMode::Normal, parent) {}

frmMain::frmMain(StartMode mode, QWidget* parent) : frmMain(mode, true, parent) {}

frmMain::frmMain(StartMode mode, bool display, QWidget* parent)
    : QMainWindow(parent), startMode(mode), hiddenRun(mode == StartMode::Background),
      display(display)
{
    CreateControls();
    CreateShortcuts();
    notifier = new DesktopNotifier(this);
    // Choosing the run's notification brings the window forward.
    connect(notifier, &DesktopNotifier::Activated, this, [this] {
        if (unloaded || !isVisible())
            return;
        setWindowState(windowState() & ~Qt::WindowMinimized);
        raise();
        activateWindow();
    });
    Form_Load();
}

frmMain::~frmMain() = default;

QString frmMain::HomePageUrl()
{
    return u"https://sitevigil.example.org/"_s;
}

void frmMain::CreateControls()
{
    setObjectName(u"frmMain"_s);
    resize(TwipsSize(WindowWidthTwips, WindowHeightTwips, this));

    imlCheck = {Picture("save"), Picture("browse"), Picture("skip"), Picture("exit")};
    imlSetting = {Picture("new"), Picture("edit"), Picture("delete"), Picture("option")};

    auto* central = new QWidget(this);
    setCentralWidget(central);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(0);

    auto* top = new QHBoxLayout;
    top->setSpacing(6);
    tabMain = new TabStrip(central);
    tabMain->setObjectName(u"tabMain"_s);
    tabMain->setAccessibleName(u"表示の切り替え"_s);
    tabMain->setExpanding(false);
    tabMain->setDrawBase(false);
    tabMain->setTabData(tabMain->addTab(u"チェック"_s), u"Check"_s);
    tabMain->setTabData(tabMain->addTab(u"設定"_s), u"Setting"_s);
    tabMain->setCurrentIndex(0);
    top->addWidget(tabMain, 0, Qt::AlignBottom);
    top->addStretch(1);

    auto* lblVersion = new QLabel(u"Ver "_s + QStringLiteral(SITEVIGIL_VERSION), central);
    lblVersion->setObjectName(u"lblVersion"_s);
    top->addWidget(lblVersion, 0, Qt::AlignVCenter);

    auto* orlan = new LinkLabel(u"orlan"_s, central);
    orlan->setObjectName(u"lblOrlan"_s);
    orlan->setAccessibleName(u"orlan"_s);
    orlan->setAccessibleDescription(u"作者のホームページを開く"_s);
    orlan->onClick = [this] { lblOrlan_Click(); };
    lblOrlan = orlan;
    top->addWidget(lblOrlan, 0, Qt::AlignVCenter);

    cmdHelp = new QToolButton(central);
    cmdHelp->setObjectName(u"cmdHelp"_s);
    cmdHelp->setIcon(Picture("help"));
    cmdHelp->setIconSize(QSize(16, 16));
    cmdHelp->setToolTip(u"readme.txtを表示"_s);
    cmdHelp->setAccessibleName(u"readme.txtを表示"_s);
    cmdHelp->setFocusPolicy(Qt::StrongFocus);
    top->addWidget(cmdHelp, 0, Qt::AlignVCenter);
    layout->addLayout(top);

    auto* frame = new QFrame(central);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setFrameShadow(QFrame::Raised);
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(4, 4, 4, 4);
    auto* panes = new QStackedWidget(frame);
    frameLayout->addWidget(panes);
    layout->addWidget(frame, 1);

    const Pane check = MakePane(panes, u"Check"_s, u"チェックの操作"_s, imlCheck,
                                {{u"Save"_s, u"保存"_s},
                                 {u"Browse"_s, u"IEで開く"_s},
                                 {u"Skip"_s, u"スキップ"_s},
                                 {u"Exit"_s, u"終了"_s}},
                                u"更新されたページ"_s);
    pctCheck = check.widget;
    tbrCheck = check.toolBar;
    check.list->onDblClick = [this] { lstCheck_DblClick(); };
    lstCheck = check.list;
    // Thousands of changed pages: one size for all lines, not a measure of each per layout.
    lstCheck->setUniformItemSizes(true);
    // Below the list: the change on the selected page, read-only but reachable by keyboard.
    auto* lblChange = new QLabel(u"変更点(&D):"_s, pctCheck);
    lblChange->setObjectName(u"lblChange"_s);
    txtChange = new ChangeView(pctCheck);
    txtChange->setObjectName(u"txtChange"_s);
    txtChange->setAccessibleName(u"変更点"_s);
    txtChange->setReadOnly(true);
    txtChange->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    txtChange->setTabChangesFocus(true);
    txtChange->setFocusPolicy(Qt::StrongFocus);
    lblChange->setBuddy(txtChange);
    pctCheck->layout()->addWidget(lblChange);
    static_cast<QVBoxLayout*>(pctCheck->layout())->addWidget(txtChange, 2);
    connect(lstCheck, &QListWidget::itemSelectionChanged, this, &frmMain::ShowChange);
    runResults = std::make_unique<RunResults>();
    CreateResultActions();

    const Pane setting = MakePane(panes, u"Setting"_s, u"設定の操作"_s, imlSetting,
                                  {{u"New"_s, u"新規アイテム"_s},
                                   {u"Edit"_s, u"アイテム設定"_s},
                                   {u"Delete"_s, u"アイテム削除"_s},
                                   {u"Option"_s, u"オプション設定"_s}},
                                  u"アイテム"_s);
    pctSetting = setting.widget;
    tbrSetting = setting.toolBar;
    setting.list->setSortingEnabled(false);
    setting.list->setIconSize(QSize(16, 16)); // the error marks, as small as the text
    setting.list->onDblClick = [this] { lstSetting_DblClick(); };
    setting.list->onDrop = [this](const QMimeData* data) { lstSetting_OLEDragDrop(data); };
    setting.list->AcceptFileDrops();
    lstSetting = setting.list;
    lblSettingNotice = new QLabel(pctSetting);
    lblSettingNotice->setObjectName(u"lblSettingNotice"_s);
    lblSettingNotice->setWordWrap(true);
    lblSettingNotice->setTextInteractionFlags(Qt::TextSelectableByKeyboard |
                                              Qt::TextSelectableByMouse);
    lblSettingNotice->setFocusPolicy(Qt::StrongFocus); // reachable for screen readers
    lblSettingNotice->hide();
    static_cast<QVBoxLayout*>(pctSetting->layout())->insertWidget(1, lblSettingNotice);
    CreatePasteAction();
    CreateFilterRulesAction();
    panes->setCurrentWidget(pctCheck);

    Inet1 = new Inet(this);
    Inet1->setObjectName(u"Inet1"_s);

    connect(tabMain, &QTabBar::currentChanged, this, &frmMain::tabMain_BeforeClick);
    connect(tbrCheck, &QToolBar::actionTriggered, this, &frmMain::tbrCheck_ButtonClick);
    connect(tbrSetting, &QToolBar::actionTriggered, this, &frmMain::tbrSetting_ButtonClick);
    connect(cmdHelp, &QToolButton::clicked, this, &frmMain::cmdHelp_Click);
    connect(Inet1, &Inet::StateChanged, this, &frmMain::Inet1_StateChanged);

    setWindowTitle(QString());
}

QAction* frmMain::tbrCheckButton(int index) const
{
    return tbrCheck->actions().value(index - 1);
}

QAction* frmMain::tbrSettingButton(int index) const
{
    return tbrSetting->actions().value(index - 1);
}

void frmMain::CreateShortcuts()
{
    const auto onKey = [this](QKeySequence keys, auto&& handler) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, handler);
    };
    for (const QKeySequence& keys :
         {QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)})
        onKey(keys, [this] { SwitchTab(1); });
    for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
                                     QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab),
                                     QKeySequence(Qt::CTRL | Qt::Key_PageUp)})
        onKey(keys, [this] { SwitchTab(-1); });
    onKey(QKeySequence(Qt::Key_F1), [this] { cmdHelp->click(); });
    onKey(QKeySequence(Qt::CTRL | Qt::Key_N), [this] {
        if (pctSetting->isVisible() && pctSetting->isEnabled())
            tbrSettingButton(1)->trigger();
    });
}

void frmMain::SwitchTab(int step)
{
    const int count = tabMain->count();
    tabMain->setCurrentIndex((tabMain->currentIndex() + step % count + count) % count);
}

void frmMain::Form_Load()
{
    if (startMode == StartMode::Settings) {
        {
            const QSignalBlocker block(tabMain);
            tabMain->setCurrentIndex(1);
        }
        ShowSettingPane();
        return;
    }
    LoadItems();
    // A hidden start with nothing to check has nothing to show: it ends as a run without
    // changes does.
    if (hiddenRun && LastIndex == -1)
        QTimer::singleShot(0, this, &frmMain::Unload);
}

void frmMain::closeEvent(QCloseEvent* event)
{
    event->accept();
    UnloadOnce();
}

void frmMain::Form_Unload()
{
    CancelTransfer();
}

void frmMain::Unload()
{
    if (unloaded)
        return;
    close();
    UnloadOnce(); // a window never shown gets no close event
}

void frmMain::UnloadOnce()
{
    if (unloaded)
        return;
    Form_Unload();
    unloaded = true;
    emit Unloaded();
}

void frmMain::tabMain_BeforeClick(int newIndex)
{
    // The pane in front belongs to the tab being left; the bar itself has already moved.
    auto* panes = qobject_cast<QStackedWidget*>(pctCheck->parentWidget());
    const int leaving = panes->currentIndex();
    if (newIndex == leaving || newIndex < 0 || newIndex >= tabMain->count())
        return;
    if (tabMain->currentIndex() != newIndex) {
        const QSignalBlocker block(tabMain);
        tabMain->setCurrentIndex(newIndex);
    }
    const QString key = tabMain->tabData(leaving).toString();
    if (key == u"Setting"_s)
        ShowCheckPane();
    else if (key == u"Check"_s)
        ShowSettingPane();
}

void frmMain::ShowCheckPane()
{
    pctSetting->setEnabled(false);
    pctCheck->setEnabled(true);
    qobject_cast<QStackedWidget*>(pctCheck->parentWidget())->setCurrentWidget(pctCheck);
    LoadItems();
}

void frmMain::ShowSettingPane()
{
    CancelTransfer();
    itemStamps.Clear();
    // A page still being opened from the results: that Browse ends here, with no save.
    if (browseWait) {
        browseEnded = true;
        browseWait->quit();
    }
    pctCheck->setEnabled(false);
    pctSetting->setEnabled(true);
    qobject_cast<QStackedWidget*>(pctSetting->parentWidget())->setCurrentWidget(pctSetting);
    RefreshSettingList();
    // The stopped run never reaches its end: what it failed to write is told in the pane,
    // for a tab switch opens no box.
    const QStringList failed = runResults->TakeWriteFailures();
    if (!failed.isEmpty()) {
        QString notice = lblSettingNotice->text();
        if (!notice.isEmpty())
            notice += u"\n\n"_s;
        notice += RunResults::NotSavedHeading() + u'\n' + ListWithin(failed, 3);
        lblSettingNotice->setText(notice);
        lblSettingNotice->show();
    }
    // Told once: the store keeps every baseline anyway, and the user can only make room.
    if (!baselinesNoticed && runResults->Kept().BaselinesOverCap()) {
        baselinesNoticed = true;
        QString notice = lblSettingNotice->text();
        if (!notice.isEmpty())
            notice += u"\n\n"_s;
        notice += u"比較の基準として保存しているページが上限の %1 MB を超えました。"
                  u"基準のページは消さずに残します。"_s.arg(runResults->Kept().CapBytes() >> 20);
        lblSettingNotice->setText(notice);
        lblSettingNotice->show();
    }
}

void frmMain::cmdHelp_Click()
{
    const QString path = AppFolder() + u"readme.txt"_s;
    // A FIFO or a device there is no help file for the viewer to open.
    if (!Files::IsFile(Files::Path(path))) {
        MsgBox(u"ヘルプファイル「%1」が見つかりません。"_s.arg(QDir::toNativeSeparators(path)),
               this);
        return;
    }
    const QUrl url = QUrl::fromLocalFile(path);
    const QString failed =
        u"ヘルプファイル「%1」を開けませんでした。"_s.arg(QDir::toNativeSeparators(path));
    if (BrowserLauncher::OpenerProgram().isEmpty()) {
        if (!QDesktopServices::openUrl(url))
            MsgBox(failed, this);
        return;
    }
    // The viewer is watched as the browser is: the desktop's own call would count an opener
    // that finds no viewer as a success.
    auto* launcher = new BrowserLauncher(this);
    connect(launcher, &BrowserLauncher::Finished, this,
            [this, launcher, failed](bool opened, const QString& why) {
                launcher->deleteLater();
                if (!opened && !unloaded)
                    MsgBox(failed + u"\n"_s + why, this);
            });
    launcher->Open(url);
}

void frmMain::lblOrlan_Click()
{
    if (!lblOrlan->isEnabled())
        return;
    OpenInBrowser(HomePageUrl());
}

void frmMain::LoadItems()
{
    ExitAfterSave = ReadExitAfterSave();
    Connections = ReadConnections();
    CompareText = ReadCompareText();
    FolderPath = ReadFolderPath(true);

    LastIndex = -1;
    Items = {ItemRecord{}};
    const QList<QByteArray> names = ListItemFiles(FolderPath);
    // The catalogue holds the first MaxItems in listing order; the Setting list shows all.
    const qsizetype count = std::min<qsizetype>(names.size(), MaxItems);
    Items.reserve(count);
    itemStamps.Begin(FolderPath, count);
    for (qsizetype i = 0; i < count; ++i) {
        ++LastIndex;
        if (LastIndex == 0)
            Items[0] = ::ReadItemFile(FolderPath, names[i], &itemStamps);
        else
            Items.append(::ReadItemFile(FolderPath, names[i], &itemStamps));
    }

    if (LastIndex == -1) {
        setWindowTitle(u"アイテムが1つもありません。"_s);
        return;
    }

    // The store learns which pages belong to an item; an unread item file leaves that open.
    QStringList urls;
    urls.reserve(Items.size());
    bool whole = names.size() <= MaxItems;
    for (const ItemRecord& item : std::as_const(Items)) {
        urls.append(item.URL);
        whole = whole && !item.URL.isEmpty();
    }
    runResults->Kept().SetBaselines(CompareText == 1);
    runResults->Kept().SetCatalogue(urls, whole);

    CurrentIndex = 0;
    runResults->Begin(CompareText == 1, FolderPath);
    lstCheck->setEnabled(false);
    lstCheck->clear();
    txtChange->clear();
    tbrCheckButton(1)->setEnabled(false);
    tbrCheckButton(2)->setEnabled(false);
    tbrCheckButton(3)->setEnabled(true);
    lblOrlan->setEnabled(false);
    CheckItem();
    // Said without stopping the run, which is already under way.
    if (names.size() > MaxItems && !hiddenRun)
        MsgBoxModeless(u"アイテムファイルが%1個あります。チェックするのは最初の%2個だけです。"_s
                           .arg(names.size())
                           .arg(MaxItems),
                       this);
}

void frmMain::RefreshSettingList()
{
    setWindowTitle(u"設定"_s);
    lstSetting->clear();
    lblOrlan->setEnabled(true);
    FolderPath = ReadFolderPath(true);
    const QIcon errorIcon = lstSetting->style()->standardIcon(QStyle::SP_MessageBoxWarning);
    for (const QByteArray& name : ListItemFiles(FolderPath)) {
        // Marked before it joins the list: a change to a listed row costs a search for it.
        auto* row = new QListWidgetItem(ItemTitle(name));
        // The row keeps the name of its file, so that Edit and Delete reach that very file.
        row->setData(Qt::UserRole, name);
        MarkErrorRow(row, StoredErrorInfo(FolderPath, name), errorIcon);
        lstSetting->addItem(row);
    }
    // A folder that cannot be listed is told in the pane, above the empty list, for as long
    // as it stays so; the caption stays as it is.
    const QString problem = FolderProblem(FolderPath);
    lblSettingNotice->setText(problem.isEmpty()
                                  ? QString()
                                  : problem + u"\n参照フォルダはオプション設定で変えられます。"_s);
    lblSettingNotice->setVisible(!problem.isEmpty());
}

ItemRecord frmMain::ReadItemFile(const QByteArray& fileName) const
{
    return ::ReadItemFile(FolderPath, fileName);
}

bool frmMain::WriteItemFile(const ItemRecord& item, QStringList& failures)
{
    const FileResult result = ::WriteItemFile(FolderPath, item, &itemStamps);
    if (!result.ok)
        failures.append(u"「%1」\n    %2"_s.arg(item.Title, result.message));
    return result.ok;
}

void frmMain::ReportWriteFailures(QStringList& failures)
{
    // A hidden run has put them into its notification; no box may open while hidden.
    if (failures.isEmpty() || hiddenRun)
        return;
    // Every item of a large folder may fail alike (a read-only folder): the box stays within
    // the screen, and the whole list is in its details.
    const QString head = RunResults::NotSavedHeading() + u"\n\n"_s;
    MsgBox(head + ListWithin(failures, MsgBoxListLines), this,
           failures.size() > MsgBoxListLines ? failures.join(u'\n') : QString());
    failures.clear();
}

QAction* frmMain::AddMenuAction(QWidget* owner, const QString& caption, const QString& name,
                                void (frmMain::*slot)())
{
    auto* action = new QAction(caption, owner);
    action->setObjectName(name);
    action->setEnabled(false);
    owner->addAction(action);
    connect(action, &QAction::triggered, this, slot);
    return action;
}
