#include "hfindbar.h"

#include "translatestring.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QGridLayout>
#include <QListView>
#include <QShortcut>
#include <QStyle>
#include <QTableView>

namespace {

const char kBarProperty[] = "pm_findBar";

void setRowShown(QAbstractItemView *view, int row, bool shown)
{
    if (auto *table = qobject_cast<QTableView *>(view))
        table->setRowHidden(row, !shown);
    else if (auto *list = qobject_cast<QListView *>(view))
        list->setRowHidden(row, !shown);
}

} // namespace

HFindBar::HFindBar(QAbstractItemView *view, QWidget *parent)
    : QLineEdit(parent)
    , m_view(view)
{
    setObjectName(view->objectName() + QStringLiteral("_find"));
    setPlaceholderText(TranslateString(QStringLiteral("Find (Ctrl+F)")));
    setToolTip(TranslateString(QStringLiteral("Shows only the rows that contain this text")));
    // A clear button of our own: QLineEdit's built-in one fades in and out with an animation
    // that can outlive the window when it closes mid-fade.
    QAction *clear = addAction(style()->standardIcon(QStyle::SP_LineEditClearButton),
                               QLineEdit::TrailingPosition);
    clear->setObjectName(QStringLiteral("action_clearFind"));
    clear->setToolTip(TranslateString(QStringLiteral("Shows every row again")));
    clear->setVisible(false);
    connect(clear, &QAction::triggered, this, &QLineEdit::clear);
    connect(this, &QLineEdit::textChanged, clear,
            [clear](const QString &text) { clear->setVisible(!text.isEmpty()); });
    view->setProperty(kBarProperty, QVariant::fromValue<QObject *>(this));
    connect(this, &QLineEdit::textChanged, this, &HFindBar::apply);
    followModel();
}

HFindBar::~HFindBar()
{
    // The view may outlive its box: it must not hand out a pointer to a deleted one.
    if (m_view && HFindBar::of(m_view) == this)
        m_view->setProperty(kBarProperty, QVariant());
}

HFindBar *HFindBar::attach(QAbstractItemView *view)
{
    QWidget *parent = view->parentWidget();
    auto *bar = new HFindBar(view, parent);
    QLayout *layout = parent ? parent->layout() : nullptr;
    // Find the layout that holds the view, however deep, and put the box above it.
    std::function<bool(QLayout *)> place = [&](QLayout *l) -> bool {
        if (!l)
            return false;
        for (int i = 0; i < l->count(); ++i) {
            QLayoutItem *item = l->itemAt(i);
            if (item->widget() == view) {
                if (auto *box = qobject_cast<QBoxLayout *>(l)) {
                    auto *column = new QVBoxLayout;
                    column->setSpacing(2);
                    const int stretch = box->stretch(i);
                    box->removeWidget(view);
                    column->addWidget(bar);
                    column->addWidget(view);
                    box->insertLayout(i, column, stretch);
                    return true;
                }
                if (auto *grid = qobject_cast<QGridLayout *>(l)) {
                    int row, col, rowSpan, colSpan;
                    grid->getItemPosition(i, &row, &col, &rowSpan, &colSpan);
                    grid->removeWidget(view);
                    auto *column = new QVBoxLayout;
                    column->setSpacing(2);
                    column->addWidget(bar);
                    column->addWidget(view);
                    grid->addLayout(column, row, col, rowSpan, colSpan);
                    return true;
                }
                return false;
            }
            if (place(item->layout()))
                return true;
        }
        return false;
    };
    if (!place(layout))
        bar->move(view->pos());
    return bar;
}

HFindBar *HFindBar::of(const QAbstractItemView *view)
{
    // The box clears the property when it goes, so the pointer held is always alive.
    return view ? qobject_cast<HFindBar *>(view->property(kBarProperty).value<QObject *>())
                : nullptr;
}

void HFindBar::installShortcut(QWidget *page)
{
    auto *shortcut = new QShortcut(QKeySequence::Find, page);
    shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    QObject::connect(shortcut, &QShortcut::activated, page, [page] {
        HFindBar *bar = nullptr;
        for (QWidget *w = QApplication::focusWidget(); w && !bar; w = w->parentWidget()) {
            if (auto *own = qobject_cast<HFindBar *>(w))
                bar = own;
            else if (auto *view = qobject_cast<QAbstractItemView *>(w))
                bar = HFindBar::of(view);
            if (w == page)
                break;
        }
        if (!bar) {
            const QList<HFindBar *> bars = page->findChildren<HFindBar *>();
            for (HFindBar *candidate : bars) {
                if (candidate->isVisible()) {
                    bar = candidate;
                    break;
                }
            }
        }
        if (bar) {
            bar->setFocus(Qt::ShortcutFocusReason);
            bar->selectAll();
        }
    });
}

void HFindBar::setBaseVisibility(std::function<bool(int)> visible)
{
    m_baseVisible = std::move(visible);
    apply();
}

void HFindBar::setRowApplier(std::function<void(int, bool)> apply)
{
    m_apply = std::move(apply);
    this->apply();
}

bool HFindBar::matches(int row) const
{
    const QString needle = text().trimmed();
    if (needle.isEmpty() || !m_view || !m_view->model())
        return true;
    const QAbstractItemModel *model = m_view->model();
    const QModelIndex root = m_view->rootIndex();
    // Only what the user can see counts: a list shows one column, a table its shown ones.
    const auto *list = qobject_cast<const QListView *>(m_view.data());
    const auto *table = qobject_cast<const QTableView *>(m_view.data());
    for (int col = 0; col < model->columnCount(root); ++col) {
        if (list && col != list->modelColumn())
            continue;
        if (table && table->isColumnHidden(col))
            continue;
        const QString value = model->index(row, col, root).data(Qt::DisplayRole).toString();
        if (value.contains(needle, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

QList<int> HFindBar::shownRows(const QList<int> &rows) const
{
    QList<int> shown;
    for (int row : rows) {
        if ((!m_baseVisible || m_baseVisible(row)) && matches(row))
            shown.append(row);
    }
    return shown;
}

void HFindBar::apply()
{
    if (!m_view || !m_view->model())
        return;
    const int total = m_view->model()->rowCount(m_view->rootIndex());
    const bool noFilter = text().trimmed().isEmpty();
    int shownCount = 0;
    const bool updates = m_view->updatesEnabled();
    m_view->setUpdatesEnabled(false);
    for (int row = 0; row < total; ++row) {
        const bool shown = (!m_baseVisible || m_baseVisible(row)) && (noFilter || matches(row));
        if (shown)
            ++shownCount;
        if (m_apply)
            m_apply(row, shown);
        else
            setRowShown(m_view, row, shown);
    }
    m_view->setUpdatesEnabled(updates);
    emit filtered(shownCount, total);
}

void HFindBar::applyLater()
{
    // A burst of changes (a refill adds rows one by one) is filtered once, afterwards.
    if (m_applyPending)
        return;
    m_applyPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_applyPending = false;
            apply();
        },
        Qt::QueuedConnection);
}

void HFindBar::followModel()
{
    for (const QMetaObject::Connection &c : m_modelConnections)
        disconnect(c);
    QAbstractItemModel *model = m_view ? m_view->model() : nullptr;
    if (!model)
        return;
    m_modelConnections[0] =
        connect(model, &QAbstractItemModel::modelReset, this, &HFindBar::applyLater);
    m_modelConnections[1] =
        connect(model, &QAbstractItemModel::rowsInserted, this, &HFindBar::applyLater);
    m_modelConnections[2] =
        connect(model, &QAbstractItemModel::rowsRemoved, this, &HFindBar::applyLater);
    m_modelConnections[3] =
        connect(model, &QAbstractItemModel::layoutChanged, this, &HFindBar::applyLater);
    m_modelConnections[4] = connect(model, &QAbstractItemModel::dataChanged, this, [this] {
        if (!text().trimmed().isEmpty())
            applyLater();
    });
    apply();
}
