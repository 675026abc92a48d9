#pragma once

#include <QJsonArray>
#include <QList>
#include <QString>
#include <QUndoCommand>

#include <functional>

class QUndoStack;
class QWidget;

// One edit of a matching tab, as one step of its undo stack: the matched lists of the edited
// series rows before and after it. Also the tab's undo and redo actions.
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

    // The rows whose `key` arrays differ between the entries `was` and `now` (of one kind):
    // `before` and `after` of one edit. False when no row differs.
    static bool changedRows(int kind, const QJsonArray &was, const QJsonArray &now,
                            const QString &key, Lists *before, Lists *after);

    // Adds "action_undo" and "action_redo" of `stack` to the tab, with their shortcuts (within
    // the tab) and the tab's context menu.
    static void installActions(QWidget *tab, QUndoStack *stack);

private:
    Lists m_before;
    Lists m_after;
    Apply m_apply;
};
