#include "hmatchingedit.h"

#include "translatestring.h"

#include <QAction>
#include <QJsonObject>
#include <QUndoStack>
#include <QWidget>

bool HMatchingEdit::changedRows(int kind, const QJsonArray &was, const QJsonArray &now,
                                const QString &key, Lists *before, Lists *after)
{
    *before = Lists{kind, {}, {}};
    *after = Lists{kind, {}, {}};
    for (int row = 0; row < was.size() && row < now.size(); ++row) {
        const QJsonArray from = was.at(row).toObject().value(key).toArray();
        const QJsonArray to = now.at(row).toObject().value(key).toArray();
        if (from == to)
            continue;
        before->rows.append(row);
        before->matched.append(from);
        after->rows.append(row);
        after->matched.append(to);
    }
    return !after->rows.isEmpty();
}

void HMatchingEdit::installActions(QWidget *tab, QUndoStack *stack)
{
    QAction *undo = stack->createUndoAction(tab, TranslateString(QStringLiteral("Undo")));
    undo->setObjectName(QStringLiteral("action_undo"));
    undo->setToolTip(TranslateString(QStringLiteral("Undoes the last edit in this tab")));
    undo->setShortcut(QKeySequence(Qt::CTRL + Qt::Key_Z));
    QAction *redo = stack->createRedoAction(tab, TranslateString(QStringLiteral("Redo")));
    redo->setObjectName(QStringLiteral("action_redo"));
    redo->setToolTip(TranslateString(QStringLiteral("Redoes the edit undone last")));
    redo->setShortcut(QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_Z));
    for (QAction *action : {undo, redo}) {
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        tab->addAction(action);
    }
    tab->setContextMenuPolicy(Qt::ActionsContextMenu);
}
