#pragma once

#include <QPointer>
#include <QStyledItemDelegate>

// An item delegate for cells that hold text: an entry with a NUL or another control
// character (tab and line breaks aside) is refused with a message, and the cell keeps its
// value. Such characters arrive by pasting; the database would refuse or cut them later,
// far from where they came in.
class HTextDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit HTextDelegate(QObject *parent = nullptr);

    // The first character of the text that a cell may not hold, or -1.
    static int forbiddenCharacter(const QString &text);

    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override;

private:
    void showRefusal(QWidget *parent, int character) const;

    mutable bool m_refusalPending = false;
};
