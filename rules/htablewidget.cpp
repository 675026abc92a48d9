#include "htablewidget.h"
#include "ui_htablewidget.h"

#include "hcelldelegate.h"
#include "hdatabase.h"
#include "hdbfind.h"
#include "hfindbar.h"
#include "hmessagebox.h"
#include "hproductschema.h"
#include "hsqlstatement.h"
#include "translatestring.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QSortFilterProxyModel>
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

    // A cell as the database holds it: invalid for a row added here.
    QVariant storedValue(int row, int column) const
    {
        return QSqlQueryModel::data(index(row, column), Qt::EditRole);
    }

    bool isInserted(int row) const
    {
        return headerData(row, Qt::Vertical).toString() == QLatin1String("*");
    }
    bool isDeleted(int row) const
    {
        return headerData(row, Qt::Vertical).toString() == QLatin1String("!");
    }
};

const QString kRuleName = QStringLiteral("rule_name");

// The column of __product_series that names entries of a rule table, or empty.
QString seriesColumnOf(const QString &table)
{
    for (const HProductSchema::RuleTable &rule : HProductSchema::ruleTables()) {
        if (rule.table == table)
            return rule.seriesColumn;
    }
    return QString();
}

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
    m_delegate = new HCellDelegate(ui->tableView);
    ui->tableView->setItemDelegate(m_delegate);

    // Sorting happens in the proxy only: the table model's own sort would select the table
    // again and drop the pending rows. No column is sorted until the user asks.
    m_proxy = new QSortFilterProxyModel(this);
    m_proxy->setSortRole(Qt::EditRole);
    ui->tableView->setModel(m_proxy);
    ui->tableView->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    ui->tableView->setSortingEnabled(true);
    HFindBar::attach(ui->tableView);

    ui->pushButton_add->setToolTip(
        TranslateString(QStringLiteral("Adds an empty row at the end; it is written on save")));
    ui->pushButton_del->setToolTip(TranslateString(
        QStringLiteral("Removes the chosen row; it is deleted from the database on save")));
    ui->buttonBox->button(QDialogButtonBox::Ok)
        ->setToolTip(m_embedded
                         ? TranslateString(QStringLiteral("Writes the changes of this table to "
                                                          "the database"))
                         : TranslateString(QStringLiteral("Writes the changes to the database "
                                                          "and closes the window")));
    ui->buttonBox->button(QDialogButtonBox::Cancel)
        ->setToolTip(
            TranslateString(QStringLiteral("Closes the window; changes not saved are dropped")));

    if (!m_embedded) {
        HFindBar::installShortcut(this);
        setWindowFlags(windowFlags() | Qt::Tool | Qt::WindowMinimizeButtonHint |
                       Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
        setTable(tableName);
        setWindowTitle(TranslateString(QStringLiteral("Edit table [%1]")).arg(tableName));
    } else {
        ui->buttonBox->button(QDialogButtonBox::Ok)
            ->setText(TranslateString(QStringLiteral("Save To Database")));
        ui->buttonBox->button(QDialogButtonBox::Cancel)->hide();
    }
}

HTableWidget::~HTableWidget()
{
    m_proxy->setSourceModel(nullptr);
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
    // The columns as the database declares them: which cells take numbers only, and which
    // may be left empty.
    m_fields = HDbFind::getDb()->getSqlDatabase().record(m_tableName);
    m_delegate->setFields(m_fields);
    ui->tableView->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    m_proxy->setSourceModel(model);
    // The first column is the table's row key, set by the database.
    ui->tableView->hideColumn(0);
    ui->tableView->resizeColumnsToContents();
    ui->tableView->horizontalHeader()->setStretchLastSection(true);

    delete m_model;
    m_model = model;
    connect(model, &QAbstractItemModel::dataChanged, this, &HTableWidget::changed);
    connect(model, &QAbstractItemModel::headerDataChanged, this, &HTableWidget::changed);
    connect(model, &QAbstractItemModel::rowsInserted, this, &HTableWidget::changed);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &HTableWidget::changed);
    connect(model, &QAbstractItemModel::modelReset, this, &HTableWidget::changed);
    emit changed();
}

bool HTableWidget::isModified() const
{
    return m_model && m_model->isDirty();
}

int HTableWidget::rowCount() const
{
    return m_model ? m_model->rowCount() : 0;
}

void HTableWidget::on_pushButton_add_clicked()
{
    if (!m_model)
        return;
    const int row = m_model->rowCount();
    if (!m_model->insertRow(row))
        return;
    const QModelIndex first = m_proxy->mapFromSource(m_model->index(row, 1));
    ui->tableView->scrollTo(first);
    ui->tableView->setCurrentIndex(first);
}

int HTableWidget::seriesUsing(int row, QString *name) const
{
    const QString column = seriesColumnOf(m_tableName);
    const int nameColumn = m_model->fieldIndex(kRuleName);
    if (column.isEmpty() || nameColumn < 0)
        return 0;
    auto *model = static_cast<const HRowKeyModel *>(m_model);
    // The stored name is what the series name, whatever the cell shows now.
    const QVariant stored = model->storedValue(row, nameColumn);
    if (stored.isNull())
        return 0;
    *name = stored.toString();
    HSqlStatement count(HDbFind::getDb(),
                        QStringLiteral("select count(*) from %1 where [%2] = ? and "
                                       "[product_type] = 0")
                            .arg(QStringLiteral("__product_series"), column));
    count.bind(0, *name);
    if (!count.exec() || !count.next())
        return 0;
    return count.value(0).toInt();
}

void HTableWidget::on_pushButton_del_clicked()
{
    if (!m_model)
        return;
    // The view makes its first cell current when it gets the focus, without selecting it;
    // only a row the user chose, and can see, is removed.
    const QModelIndex current = ui->tableView->currentIndex();
    if (!current.isValid() || !ui->tableView->selectionModel()->isSelected(current) ||
        ui->tableView->isRowHidden(current.row()))
        return;
    const int row = m_proxy->mapToSource(current).row();
    // Series that name the rule would point at nothing once it is gone.
    QString name;
    const int users = seriesUsing(row, &name);
    if (users > 0 &&
        !HMessageBox::question(
            this, TranslateString(QStringLiteral("Question")),
            TranslateString(QStringLiteral("The rule \"%1\" is used by %2 outdoor series; after "
                                           "the delete they name a rule that does not exist.\n"
                                           "Delete it anyway?"))
                .arg(name)
                .arg(users)))
        return;
    m_model->removeRow(row);
}

QString HTableWidget::checkPending() const
{
    auto *model = static_cast<const HRowKeyModel *>(m_model);
    const int columns = model->columnCount();
    const int nameColumn = model->fieldIndex(kRuleName);
    QMap<QString, QList<int>> rowsByName;
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->isDeleted(row))
            continue;
        bool touched = model->isInserted(row);
        bool empty = true;
        for (int column = 1; column < columns; ++column) {
            const QModelIndex cell = model->index(row, column);
            touched = touched || model->isDirty(cell);
            const QVariant value = cell.data(Qt::EditRole);
            if (!value.isNull() && !value.toString().trimmed().isEmpty())
                empty = false;
        }
        // A row with nothing in it would be stored as a row of defaults, or refused by the
        // database with a message that does not say which row.
        if (touched && empty)
            return TranslateString(QStringLiteral("Row %1 is empty: fill it in or delete it. "
                                                  "Nothing was saved."))
                .arg(m_proxy->mapFromSource(model->index(row, 1)).row() + 1);
        if (nameColumn >= 0) {
            const QString name = model->index(row, nameColumn).data(Qt::EditRole).toString();
            if (!name.isEmpty())
                rowsByName[name].append(row);
        }
    }
    // Series find their rule by name: a second row of the same name would make the choice
    // a guess. Twins already stored are left for the user to sort out; only rows changed
    // here are refused.
    for (auto it = rowsByName.cbegin(); it != rowsByName.cend(); ++it) {
        if (it.value().size() < 2)
            continue;
        for (int row : it.value()) {
            if (model->isInserted(row) || model->isDirty(model->index(row, nameColumn)))
                return TranslateString(
                           QStringLiteral("The rule name \"%1\" is used by more than one row; "
                                          "each rule needs a name of its own. Nothing was saved."))
                    .arg(it.key());
        }
    }
    return QString();
}

HTableWidget::SaveResult HTableWidget::savePending()
{
    SaveResult result;
    if (!m_model || !m_model->isDirty())
        return result;
    result.error = checkPending();
    if (!result.error.isEmpty()) {
        result.ok = false;
        result.refused = true;
        return result;
    }
    HDatabase *db = HDbFind::getDb();
    // One transaction of our own: if one cannot be begun (another is open on the connection,
    // the database is closed), nothing is written row by row outside it.
    if (!db->transaction()) {
        result.ok = false;
        result.error = db->errorString();
        return result;
    }
    PendingWriter writer(db, m_tableName);
    result.error = writer.write(static_cast<const HRowKeyModel *>(m_model));
    if (result.error.isEmpty() && !db->commit())
        result.error = db->errorString();
    if (!result.error.isEmpty()) {
        db->rollback();
        result.ok = false;
        return result;
    }
    result.rows = writer.rowsWritten();
    // Only now does the model learn of the save: read the table again, keys of new rows
    // included.
    selectAll(m_model);
    emit changed();
    return result;
}

void HTableWidget::revertPending()
{
    if (!m_model)
        return;
    m_model->revertAll();
    emit changed();
}

void HTableWidget::on_buttonBox_accepted()
{
    const SaveResult result = savePending();
    if (!result.ok) {
        // The window stays open with every edit pending, so that the user can retry.
        if (result.refused)
            HMessageBox::warning(this, TranslateString(QStringLiteral("Warning")), result.error);
        else
            HMessageBox::warning(this, tr("tableModel"),
                                 QStringLiteral("数据库错误:") + tr("%1").arg(result.error));
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

void HTableWidget::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_embedded && !m_placed) {
        m_placed = true;
        placeOnScreen();
    }
}

void HTableWidget::placeOnScreen()
{
    // Centred on the window that opened it, but always whole on the screen it is on.
    QWidget *owner = parentWidget() ? parentWidget()->window() : nullptr;
    QScreen *screen = owner ? owner->screen() : this->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    const QSize frame = frameGeometry().size() - geometry().size();
    const QSize size = this->size().boundedTo(available.size() - frame);
    resize(size);
    QRect outer(QPoint(), frameGeometry().size());
    outer.moveCenter(owner && owner->isVisible() ? owner->frameGeometry().center()
                                                 : available.center());
    outer.moveLeft(qBound(available.left(), outer.left(), available.right() - outer.width() + 1));
    outer.moveTop(qBound(available.top(), outer.top(), available.bottom() - outer.height() + 1));
    move(outer.topLeft());
}
