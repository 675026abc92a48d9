#pragma once

#include <QJsonArray>
#include <QList>
#include <QStringList>
#include <QUndoCommand>

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

// One edit of a matching tab, as one step of its undo stack: the matched lists of the edited
// series rows before and after it.
class HMatchingEdit : public QUndoCommand
{
public:
    struct Lists
    {
        int kind = 0;
        QList<int> rows;
        QList<QJsonArray> matched;
    };
    using Apply = std::function<void(const Lists &)>;

    HMatchingEdit(const QString &text, Lists before, Lists after, Apply apply)
        : QUndoCommand(text)
        , m_before(std::move(before))
        , m_after(std::move(after))
        , m_apply(std::move(apply))
    {}
    void undo() override { m_apply(m_before); }
    void redo() override { m_apply(m_after); }

private:
    Lists m_before;
    Lists m_after;
    Apply m_apply;
};
