#pragma once
// The main window's own kinds of control: list boxes that hand double-clicks and file drops
// to the window, a label that acts as a link, and the panes' toolbars.
#include <QIcon>
#include <QLabel>
#include <QList>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTabBar>
#include <functional>
#include <utility>

class QMimeData;
class QToolBar;

// A list box whose double-click on a line (or Enter) and drops of files and web links go to
// callbacks.
class ItemList final : public QListWidget
{
public:
    explicit ItemList(QWidget* parent) : QListWidget(parent) {}

    std::function<void()> onDblClick;
    std::function<void(const QMimeData*)> onDrop;

    void AcceptFileDrops();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void AcceptDrag(QDropEvent* event);
};

// The tab strip: it switches only when the user selects a tab (click or keys), never by the
// mouse wheel passing over it, which would abandon a run or start one.
class TabStrip final : public QTabBar
{
public:
    explicit TabStrip(QWidget* parent) : QTabBar(parent) {}

protected:
    void wheelEvent(QWheelEvent* event) override;
};

// A label that looks and acts like a link: blue, underlined, a pointing hand, and
// clickable with the mouse or, when focused, with Space or Enter.
class LinkLabel final : public QLabel
{
public:
    explicit LinkLabel(const QString& text, QWidget* parent);

    std::function<void()> onClick;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

// The change view: read-only text whose context menu holds the usual entries (copy, select
// all) and, below them, the actions added to it.
class ChangeView final : public QPlainTextEdit
{
public:
    explicit ChangeView(QWidget* parent) : QPlainTextEdit(parent) {}

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
};

// A fixed toolbar of 16x16 pictures with captions under them and no tooltips; each button
// is an action whose objectName is its key. buttons: (key, caption) in order.
QToolBar* MakeToolBar(QWidget* parent, const QString& name, const QString& accessibleName,
                      const QList<QIcon>& images,
                      const QList<std::pair<QString, QString>>& buttons);

// Marks a Setting list row whose item holds an error text as its Info (empty: no mark): the
// icon, and the text as tooltip and accessible description. The row's text stays.
void MarkErrorRow(QListWidgetItem* row, const QString& errorInfo, const QIcon& icon);
