#include "app/frmMain_Controls.h"
#include "store/WebLinks.h"
#include <QAction>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QToolBar>
#include <QWheelEvent>
#include <memory>

using namespace Qt::StringLiterals;

namespace
{
// Qt would show a toolbar button's caption as its tooltip.
class NoToolTip final : public QObject
{
public:
    explicit NoToolTip(QObject* parent) : QObject(parent) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ToolTip)
            return true;
        return QObject::eventFilter(watched, event);
    }
};
} // namespace

void ChangeView::contextMenuEvent(QContextMenuEvent* event)
{
    const std::unique_ptr<QMenu> menu(createStandardContextMenu(event->pos()));
    if (!actions().isEmpty()) {
        menu->addSeparator();
        menu->addActions(actions());
    }
    menu->exec(event->globalPos());
}

void ItemList::AcceptFileDrops()
{
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setDropIndicatorShown(false);
}

void ItemList::mouseDoubleClickEvent(QMouseEvent* event)
{
    QListWidget::mouseDoubleClickEvent(event);
    if (onDblClick && itemAt(event->position().toPoint()))
        onDblClick();
}

void ItemList::keyPressEvent(QKeyEvent* event)
{
    if (onDblClick && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        event->modifiers() == Qt::NoModifier) {
        onDblClick();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void ItemList::dragEnterEvent(QDragEnterEvent* event)
{
    AcceptDrag(event);
}

void ItemList::dragMoveEvent(QDragMoveEvent* event)
{
    AcceptDrag(event);
}

void ItemList::dropEvent(QDropEvent* event)
{
    if (!onDrop) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    onDrop(event->mimeData());
}

void ItemList::AcceptDrag(QDropEvent* event)
{
    if (onDrop && MayCarryLinks(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    QPalette pal = palette();
    pal.setColor(QPalette::Active, QPalette::WindowText, QColor(0, 0, 255));
    pal.setColor(QPalette::Inactive, QPalette::WindowText, QColor(0, 0, 255));
    setPalette(pal);
    // The author's own face where it is installed (a Windows font folder), else the
    // desktop's face, which speaks Japanese here.
    QFont f = font();
    static const QString ownFace = u"ＭＳ Ｐゴシック"_s;
    if (QFontDatabase::families().contains(ownFace))
        f.setFamilies({ownFace});
    f.setPointSize(9);
    f.setUnderline(true);
    setFont(f);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setContentsMargins(2, 1, 2, 1);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
        onClick) {
        onClick();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

void LinkLabel::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if ((key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) && onClick) {
        onClick();
        return;
    }
    QLabel::keyPressEvent(event);
}

void LinkLabel::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    if (hasFocus()) {
        QPainter p(this);
        QStyleOptionFocusRect opt;
        opt.initFrom(this);
        opt.backgroundColor = palette().color(QPalette::Window);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &opt, &p, this);
    }
}

QToolBar* MakeToolBar(QWidget* parent, const QString& name, const QString& accessibleName,
                      const QList<QIcon>& images, const QList<std::pair<QString, QString>>& buttons)
{
    auto* bar = new QToolBar(parent);
    bar->setObjectName(name);
    bar->setAccessibleName(accessibleName);
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(QSize(16, 16));
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    auto* filter = new NoToolTip(bar);
    for (qsizetype i = 0; i < buttons.size(); ++i) {
        QAction* a = bar->addAction(images.value(i), buttons[i].second);
        a->setObjectName(buttons[i].first);
        a->setToolTip(QString());
        QWidget* button = bar->widgetForAction(a);
        button->installEventFilter(filter);
        button->setFocusPolicy(Qt::TabFocus);
        button->setAccessibleName(buttons[i].second);
    }
    return bar;
}

void MarkErrorRow(QListWidgetItem* row, const QString& errorInfo, const QIcon& icon)
{
    if (errorInfo.isEmpty())
        return;
    row->setIcon(icon);
    row->setToolTip(errorInfo);
    row->setData(Qt::AccessibleDescriptionRole, errorInfo);
}

void TabStrip::wheelEvent(QWheelEvent* event)
{
    event->ignore();
}
