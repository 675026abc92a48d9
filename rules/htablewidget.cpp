#include "htablewidget.h"
#include "ui_htablewidget.h"

#include "hdatabase.h"
#include "hdbfind.h"
#include "hmessagebox.h"
#include "hsqlstatement.h"
#include "htextdelegate.h"

#include <QHeaderView>
#include <QPushButton>
#include <QSqlField>
#include <QSqlIndex>
#include <QSqlRecord>
#include <QSqlTableModel>

#include <map>
#include <memory>

namespace {

// A table model that also tells the row key a row had when it was read, which is what an
// update or a delete must name even if the key cell was changed since.
class HRowKeyModel : public QSqlTableModel
{
public:
    using QSqlTableModel::QSqlTableModel;

    // The row's stored key: the primary key's fields, or the first column where the table
    // has no primary key (the hidden column, set by the database).
    QSqlRecord storedKey(int row) const
    {
        const QSqlRecord stored = primaryValues(row);
        if (!primaryKey().isEmpty() || stored.isEmpty())
            return stored;
        QSqlRecord first;
        first.append(stored.field(0));
        return first;
    }
};

void fetchRest(QSqlTableModel *model)
{
    while (model->canFetchMore())
        model->fetchMore();
}

// Selects the table and fetches every row: new rows are added after the last one.
void selectAll(QSqlTableModel *model)
{
    model->select();
    fetchRest(model);
}

QString keyText(const QSqlRecord &key)
{
    QStringList parts;
    for (int i = 0; i < key.count(); ++i)
        parts.append(QStringLiteral("[%1] = %2").arg(key.fieldName(i), key.value(i).toString()));
    return parts.join(QStringLiteral(", "));
}

// The model's pending changes, written with statements of our own so that a failure leaves
// the model untouched: its pending edits are then still exactly what the user made.
class PendingWriter
{
public:
    PendingWriter(HDatabase *db, const QString &table)
        : m_db(db)
        , m_table(table)
    {}

    int rowsWritten() const { return m_rows; }

    // Deletes, updates and inserts, in that order, inside the caller's transaction. Returns
    // the first error, or an empty text.
    QString write(const HRowKeyModel *model)
    {
        const int columns = model->columnCount();
        QVector<int> deletes, updates, inserts;
        for (int row = 0; row < model->rowCount(); ++row) {
            const QString mark = model->headerData(row, Qt::Vertical).toString();
            if (mark == QLatin1String("!"))
                deletes.append(row);
            else if (mark == QLatin1String("*"))
                inserts.append(row);
            else {
                for (int column = 0; column < columns; ++column) {
                    if (model->isDirty(model->index(row, column))) {
                        updates.append(row);
                        break;
                    }
                }
            }
        }

        for (int row : qAsConst(deletes)) {
            const QSqlRecord key = model->storedKey(row);
            HSqlStatement &statement =
                prepared(QStringLiteral("delete from %1 where %2").arg(m_table, where(key)));
            bindAll(statement, {}, key);
            // A row already deleted elsewhere is gone as the user wants: not an error.
            if (!statement.exec())
                return statement.errorString();
            m_rows += statement.numRowsAffected();
        }
        for (int row : qAsConst(updates)) {
            const QSqlRecord key = model->storedKey(row);
            QSqlRecord changed;
            const QSqlRecord current = model->record(row);
            for (int column = 0; column < columns; ++column) {
                if (model->isDirty(model->index(row, column)))
                    changed.append(current.field(column));
            }
            QStringList assignments;
            for (int i = 0; i < changed.count(); ++i)
                assignments.append(QStringLiteral("[%1] = ?").arg(changed.fieldName(i)));
            HSqlStatement &statement =
                prepared(QStringLiteral("update %1 set %2 where %3")
                             .arg(m_table, assignments.join(QStringLiteral(", ")), where(key)));
            bindAll(statement, changed, key);
            if (!statement.exec())
                return statement.errorString();
            // Another user (or another editor window) deleted the row meanwhile: its edits
            // must not land anywhere else, and silently dropping them would lose them.
            if (statement.numRowsAffected() < 1)
                return QStringLiteral("the row %1 of %2 is no longer in the table (deleted "
                                      "meanwhile); nothing was saved. Its edits are kept: "
                                      "delete the row here, or open the table again to drop "
                                      "them.")
                    .arg(keyText(key), m_table);
            m_rows += statement.numRowsAffected();
        }
        for (int row : qAsConst(inserts)) {
            const QSqlRecord current = model->record(row);
            QSqlRecord values;
            for (int column = 0; column < columns; ++column) {
                if (current.isGenerated(column))
                    values.append(current.field(column));
            }
            // Fields left unset take the table's defaults; a row with none set is an error
            // rather than a guess.
            if (values.isEmpty())
                return QStringLiteral("the new row %1 is empty: fill it in or delete it")
                    .arg(row + 1);
            QStringList names, places;
            for (int i = 0; i < values.count(); ++i) {
                names.append(QStringLiteral("[%1]").arg(values.fieldName(i)));
                places.append(QStringLiteral("?"));
            }
            HSqlStatement &statement = prepared(QStringLiteral("insert into %1 (%2) values (%3)")
                                                    .arg(m_table, names.join(QStringLiteral(", ")),
                                                         places.join(QStringLiteral(", "))));
            bindAll(statement, values, {});
            if (!statement.exec())
                return statement.errorString();
            m_rows += statement.numRowsAffected();
        }
        return QString();
    }

private:
    static QString where(const QSqlRecord &key)
    {
        QStringList conditions;
        for (int i = 0; i < key.count(); ++i)
            conditions.append(QStringLiteral("[%1] = ?").arg(key.fieldName(i)));
        return conditions.join(QStringLiteral(" and "));
    }

    static void bindAll(HSqlStatement &statement, const QSqlRecord &values, const QSqlRecord &key)
    {
        int position = 0;
        for (int i = 0; i < values.count(); ++i)
            statement.bind(position++, values.value(i));
        for (int i = 0; i < key.count(); ++i)
            statement.bind(position++, key.value(i));
    }

    // Rows that change the same columns share one prepared statement.
    HSqlStatement &prepared(const QString &sql)
    {
        std::unique_ptr<HSqlStatement> &slot = m_statements[sql];
        if (!slot)
            slot = std::make_unique<HSqlStatement>(m_db, sql);
        return *slot;
    }

    HDatabase *m_db;
    QString m_table;
    std::map<QString, std::unique_ptr<HSqlStatement>> m_statements;
    int m_rows = 0;
};

} // namespace

HTableWidget::HTableWidget(QString tableName, QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::HTableWidget)
    , m_embedded(tableName.isEmpty())
{
    ui->setupUi(this);

    // The layout moves from the form's inner widget to this widget, so that the view and
    // the buttons fill the window or the tab.
    ui->verticalLayout->setContentsMargins(10, 10, 10, 10);
    setLayout(ui->verticalLayout);
    ui->tableView->setItemDelegate(new HTextDelegate(ui->tableView));

    if (!m_embedded) {
        setWindowFlags(windowFlags() | Qt::Tool | Qt::WindowMinimizeButtonHint |
                       Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
        setTable(tableName);
        setWindowTitle(QStringLiteral("Edit table [%1]").arg(tableName));
    } else {
        ui->buttonBox->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Save To Database"));
        ui->buttonBox->button(QDialogButtonBox::Cancel)->hide();
    }
}

HTableWidget::~HTableWidget()
{
    delete m_model;
    m_model = nullptr;
    delete ui;
}

void HTableWidget::setTable(QString tableName)
{
    m_tableName = tableName;
    buildModel();
}

void HTableWidget::buildModel()
{
    auto *model = new HRowKeyModel(this, HDbFind::getDb()->getSqlDatabase());
    model->setTable(m_tableName);
    model->setEditStrategy(QSqlTableModel::OnManualSubmit);
    // A server returns rows in no set order (an updated row moves to the end): the row key
    // keeps them in the order SQLite gives, where the key is the row's number.
    if (HDbFind::getDb()->backend() == HDatabase::Backend::PostgreSql &&
        !model->primaryKey().isEmpty())
        model->setSort(model->fieldIndex(model->primaryKey().fieldName(0)), Qt::AscendingOrder);
    selectAll(model);
    ui->tableView->setModel(model);
    // The first column is the table's row key, set by the database.
    ui->tableView->hideColumn(0);
    ui->tableView->resizeColumnsToContents();
    ui->tableView->horizontalHeader()->setStretchLastSection(true);

    delete m_model;
    m_model = model;
}

void HTableWidget::on_pushButton_add_clicked()
{
    if (!m_model)
        return;
    const int row = m_model->rowCount();
    if (!m_model->insertRow(row))
        return;
    const QModelIndex first = m_model->index(row, 1);
    ui->tableView->scrollTo(first);
    ui->tableView->setCurrentIndex(first);
}

void HTableWidget::on_pushButton_del_clicked()
{
    if (!m_model)
        return;
    // The view makes its first cell current when it gets the focus, without selecting it;
    // only a row the user chose is removed.
    const QModelIndex current = ui->tableView->currentIndex();
    if (!current.isValid() || !ui->tableView->selectionModel()->isSelected(current))
        return;
    m_model->removeRow(current.row());
}

bool HTableWidget::savePending(QString *error)
{
    if (!m_model || !m_model->isDirty())
        return true;
    HDatabase *db = HDbFind::getDb();
    // One transaction of our own: if one cannot be begun (another is open on the connection,
    // the database is closed), nothing is written row by row outside it.
    if (!db->transaction()) {
        *error = db->errorString();
        return false;
    }
    PendingWriter writer(db, m_tableName);
    *error = writer.write(static_cast<const HRowKeyModel *>(m_model));
    if (error->isEmpty() && !db->commit())
        *error = db->errorString();
    if (!error->isEmpty()) {
        db->rollback();
        return false;
    }
    // Only now does the model learn of the save: read the table again, keys of new rows
    // included.
    selectAll(m_model);
    return true;
}

void HTableWidget::on_buttonBox_accepted()
{
    QString error;
    if (!savePending(&error)) {
        // The window stays open with every edit pending, so that the user can retry.
        HMessageBox::warning(this, tr("tableModel"),
                             QStringLiteral("数据库错误:") + tr("%1").arg(error));
        return;
    }
    // The embedded editor is the permanent content of its tab: it stays visible.
    if (!m_embedded)
        close();
}

void HTableWidget::on_buttonBox_rejected()
{
    close();
}
