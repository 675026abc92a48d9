#include "hlabellist.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <QStringListModel>

void HLabelList::install(QAbstractItemView *view, const QStringList &labels)
{
    QAbstractItemModel *oldModel = view->model();
    QItemSelectionModel *oldSelection = view->selectionModel();
    view->setModel(new QStringListModel(labels, view));
    if (oldSelection)
        oldSelection->deleteLater();
    if (oldModel && oldModel->parent() == view)
        oldModel->deleteLater();
}
