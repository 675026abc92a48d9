#include "hcelldelegate.h"

#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QSqlField>

HCellDelegate::HCellDelegate(QObject *parent)
    : HTextDelegate(parent)
{}

HCellDelegate::Kind HCellDelegate::kindOf(int column) const
{
    if (column < 0 || column >= m_fields.count())
        return Text;
    switch (m_fields.field(column).type()) {
    case QVariant::Int:
    case QVariant::UInt:
    case QVariant::LongLong:
    case QVariant::ULongLong:
    case QVariant::Bool:
        return Integer;
    case QVariant::Double:
        return Decimal;
    default:
        return Text;
    }
}

QVariant HCellDelegate::numberValue(const QString &text, Kind kind, bool required)
{
    QString typed = text.trimmed();
    if (typed.isEmpty())
        return required ? QVariant()
                        : QVariant(kind == Integer ? QVariant::LongLong : QVariant::Double);
    bool ok = false;
    if (kind == Integer) {
        const qlonglong value = typed.toLongLong(&ok);
        return ok ? QVariant(value) : QVariant();
    }
    // A decimal comma is what many users type; the value is the same.
    typed.replace(QLatin1Char(','), QLatin1Char('.'));
    const double value = typed.toDouble(&ok);
    return ok ? QVariant(value) : QVariant();
}

QWidget *HCellDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                     const QModelIndex &index) const
{
    const Kind kind = kindOf(index.column());
    if (kind == Text)
        return QStyledItemDelegate::createEditor(parent, option, index);
    auto *line = new QLineEdit(parent);
    line->setFrame(false);
    const QString pattern = kind == Integer ? QStringLiteral("[-+]?[0-9]*")
                                            : QStringLiteral("[-+]?[0-9]*([.,][0-9]*)?");
    line->setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), line));
    return line;
}

void HCellDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    if (kindOf(index.column()) == Text) {
        HTextDelegate::setEditorData(editor, index);
        return;
    }
    if (auto *line = qobject_cast<QLineEdit *>(editor))
        line->setText(index.data(Qt::EditRole).toString());
}

void HCellDelegate::setModelData(QWidget *editor, QAbstractItemModel *model,
                                 const QModelIndex &index) const
{
    const Kind kind = kindOf(index.column());
    auto *line = qobject_cast<QLineEdit *>(editor);
    if (kind == Text || !line) {
        HTextDelegate::setModelData(editor, model, index);
        return;
    }
    // What cannot be stored leaves the cell as it was, rather than becoming 0 or a text in
    // a number column.
    const QVariant value = numberValue(
        line->text(), kind, m_fields.field(index.column()).requiredStatus() == QSqlField::Required);
    if (value.isValid())
        model->setData(index, value, Qt::EditRole);
}
