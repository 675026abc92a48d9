#pragma once

#include "htextdelegate.h"

#include <QSqlRecord>

// The cells of a table editor. Text cells refuse control characters (HTextDelegate); a cell
// of a number column, as the database reports the column's type, is edited in a line that
// takes digits, a sign and (for decimals) one point or comma, and a text that is not a
// number is never written into it. Number cells are not edited in spin boxes: those round
// decimals to two places and clamp large integers.
class HCellDelegate : public HTextDelegate
{
    Q_OBJECT

public:
    explicit HCellDelegate(QObject *parent = nullptr);

    // The columns of the table being edited, in the model's column order.
    void setFields(const QSqlRecord &fields) { m_fields = fields; }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override;

    enum Kind { Text, Integer, Decimal };
    Kind kindOf(int column) const;

    // The value of a number cell for the typed text: null for an empty text where the column
    // may be NULL; invalid when the text cannot be stored (not a number, or empty where the
    // column requires a value).
    static QVariant numberValue(const QString &text, Kind kind, bool required);

private:
    QSqlRecord m_fields;
};
