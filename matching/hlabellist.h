#pragma once

#include <QList>
#include <QStringList>

#include <functional>

class QAbstractItemView;
class QModelIndex;
class QObject;

// The label lists of the matching tabs.
class HLabelList
{
public:
    // Installs a new string list model of the labels on the view, as every refresh does;
    // the replaced model and its selection model are disposed of once control is back in
    // the event loop, since a refresh may run inside the view's own signal. The view's find
    // box, if any, filters the new rows.
    static void install(QAbstractItemView *view, const QStringList &labels);

    // Calls `changed` with the new current index whenever the current row of the view moves,
    // by mouse, keyboard or type-ahead. Call again after install(): the selection model is new.
    static void onCurrentChanged(QAbstractItemView *view, QObject *receiver,
                                 const std::function<void(const QModelIndex &)> &changed);

    // The rows the user chose and can see: selected, and not hidden by the find box.
    static QList<int> chosenRows(const QAbstractItemView *view);

    // In a multi-selection list, typing moves the current row to the next match without
    // selecting or deselecting anything (Qt would toggle every row it passes).
    static void keepSelectionOnTypeAhead(QAbstractItemView *view);

    // Labels that tell their rows apart: where rows share a label, each gets its first
    // `apart` text ("Mini (ODU B)") when those differ within the group, then its next, as
    // long as labels are still shared. Rows that are the same series keep their label.
    static QStringList distinct(QStringList labels, const QList<QStringList> &apart);
};
