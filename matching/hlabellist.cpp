#include "hlabellist.h"

#include "hfindbar.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QHash>
#include <QSet>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QStringListModel>

#include <algorithm>

namespace {

// Runs the view's type-ahead itself and puts the selection back as it was.
class TypeAheadGuard : public QObject
{
public:
    explicit TypeAheadGuard(QAbstractItemView *view)
        : QObject(view)
        , m_view(view)
    {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_view || event->type() != QEvent::KeyPress)
            return false;
        auto *key = static_cast<QKeyEvent *>(event);
        const QString text = key->text();
        if (text.isEmpty() || !text.at(0).isPrint() || text.at(0).isSpace() ||
            (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
            return false;
        QItemSelectionModel *selection = m_view->selectionModel();
        if (!selection)
            return false;
        const QItemSelection before = selection->selection();
        m_view->keyboardSearch(text);
        selection->select(before, QItemSelectionModel::ClearAndSelect);
        return true;
    }

private:
    QAbstractItemView *m_view;
};

} // namespace

void HLabelList::install(QAbstractItemView *view, const QStringList &labels)
{
    QAbstractItemModel *oldModel = view->model();
    QItemSelectionModel *oldSelection = view->selectionModel();
    view->setModel(new QStringListModel(labels, view));
    if (oldSelection)
        oldSelection->deleteLater();
    if (oldModel && oldModel->parent() == view)
        oldModel->deleteLater();
    if (HFindBar *find = HFindBar::of(view))
        find->followModel();
}

void HLabelList::onCurrentChanged(QAbstractItemView *view, QObject *receiver,
                                  const std::function<void(const QModelIndex &)> &changed)
{
    if (QItemSelectionModel *selection = view->selectionModel())
        QObject::connect(selection, &QItemSelectionModel::currentChanged, receiver,
                         [changed](const QModelIndex &current) { changed(current); });
}

QList<int> HLabelList::chosenRows(const QAbstractItemView *view)
{
    QList<int> rows;
    const QItemSelectionModel *selection = view->selectionModel();
    if (!selection)
        return rows;
    const QModelIndexList indexes = selection->selectedIndexes();
    for (const QModelIndex &index : indexes) {
        if (index.column() == 0 && !rows.contains(index.row()))
            rows.append(index.row());
    }
    std::sort(rows.begin(), rows.end());
    if (const HFindBar *find = HFindBar::of(view))
        rows = find->shownRows(rows);
    return rows;
}

void HLabelList::keepSelectionOnTypeAhead(QAbstractItemView *view)
{
    view->installEventFilter(new TypeAheadGuard(view));
}

QStringList HLabelList::distinct(QStringList labels, const QList<QStringList> &apart)
{
    for (int level = 0;; ++level) {
        QHash<QString, QList<int>> groups;
        for (int i = 0; i < labels.size(); ++i)
            groups[labels.at(i)].append(i);
        bool more = false;
        for (const QList<int> &rows : qAsConst(groups)) {
            if (rows.size() < 2)
                continue;
            // Texts that are the same for the whole group tell nothing apart.
            QSet<QString> texts;
            for (int row : rows)
                texts.insert(apart.value(row).value(level));
            for (int row : rows)
                more = more || level + 1 < apart.value(row).size();
            if (texts.size() < 2)
                continue;
            for (int row : rows) {
                const QString text = apart.value(row).value(level);
                if (!text.isEmpty())
                    labels[row] += QStringLiteral(" (%1)").arg(text);
            }
        }
        if (!more)
            return labels;
    }
}
