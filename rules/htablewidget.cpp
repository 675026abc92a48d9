#include "htablewidget.h"
#include "ui_htablewidget.h"

#include "hcelldelegate.h"
#include "hdatabase.h"
#include "hdbfind.h"
#include "hfindbar.h"
#include "hmessagebox.h"
#include "hproductschema.h"
#include "hsqlstatement.h"
#include "htablesave.h"
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

namespace {

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
    m_seen.clear();
    m_conflicting.clear();
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

QString HTableWidget::shownName() const
{
    for (const HProductSchema::RuleTable &rule : HProductSchema::ruleTables()) {
        if (rule.table == m_tableName)
            return rule.displayName;
    }
    return m_tableName;
}

HTableWidget::SaveResult HTableWidget::savePending(bool overwrite)
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
    // What the rows in conflict hold now is kept for the Overwrite that may follow.
    if (!overwrite)
        m_seen.clear();
    HTableSave writer(db, m_tableName, shownName());
    writer.setSeen(&m_seen);
    result.error = writer.write(static_cast<const HRowKeyModel *>(m_model), overwrite);
    if (result.error.isEmpty() && !writer.conflicts().isEmpty()) {
        db->rollback();
        result.ok = false;
        result.conflicts = writer.conflicts();
        m_conflicting = writer.conflictingEdits();
        return result;
    }
    if (result.error.isEmpty() && !db->commit())
        result.error = db->errorString();
    if (!result.error.isEmpty()) {
        db->rollback();
        result.ok = false;
        return result;
    }
    result.rowsChanged = writer.rowsWritten();
    result.history = writer.history();
    m_seen.clear();
    // Only now does the model learn of the save: read the table again, keys of new rows
    // included.
    selectAll(m_model);
    emit changed();
    return result;
}

QVector<HAuditEntry> HTableWidget::pendingEdits() const
{
    if (!m_model)
        return {};
    return HTableSave::pendingEdits(static_cast<const HRowKeyModel *>(m_model), m_tableName,
                                    shownName());
}

void HTableWidget::reloadKeepingEdits()
{
    if (!m_model)
        return;
    auto *model = static_cast<HRowKeyModel *>(m_model);
    // The edits to put back: all but those of the rows other users changed in the way.
    struct Edit
    {
        QString row; // HTableSave::rowId of a stored row
        QSqlRecord values;
    };
    QVector<Edit> updates, inserts;
    QStringList deletes;
    auto conflicting = [this](const QString &row, const QString &column) {
        return m_conflicting.contains(HTableSave::editId(row, column)) ||
               m_conflicting.contains(HTableSave::editId(row, QStringLiteral("(row)")));
    };
    for (int row = 0; row < model->rowCount(); ++row) {
        const QString id = HTableSave::rowId(model, row);
        const QSqlRecord current = model->record(row);
        if (model->isDeleted(row)) {
            if (!conflicting(id, QString()))
                deletes.append(id);
            continue;
        }
        Edit edit{id, {}};
        for (int column = 0; column < current.count(); ++column) {
            const bool set = model->isInserted(row) ? current.isGenerated(column)
                                                    : model->isDirty(model->index(row, column));
            if (set && !conflicting(id, current.fieldName(column)))
                edit.values.append(current.field(column));
        }
        if (!edit.values.isEmpty())
            (model->isInserted(row) ? inserts : updates).append(edit);
    }
    selectAll(model);
    QHash<QString, int> rows;
    for (int row = 0; row < model->rowCount(); ++row)
        rows.insert(HTableSave::rowId(model, row), row);
    for (const Edit &edit : qAsConst(updates)) {
        const int row = rows.value(edit.row, -1);
        if (row < 0)
            continue;
        for (int i = 0; i < edit.values.count(); ++i) {
            const int column = model->fieldIndex(edit.values.fieldName(i));
            const QVariant stored = model->storedValue(row, column);
            const QVariant value = edit.values.value(i);
            if (stored.isNull() != value.isNull() || stored.toString() != value.toString())
                model->setData(model->index(row, column), edit.values.value(i));
        }
    }
    for (const Edit &edit : qAsConst(inserts)) {
        const int row = model->rowCount();
        if (!model->insertRow(row))
            continue;
        for (int i = 0; i < edit.values.count(); ++i)
            model->setData(model->index(row, model->fieldIndex(edit.values.fieldName(i))),
                           edit.values.value(i));
    }
    for (const QString &id : qAsConst(deletes)) {
        if (rows.contains(id))
            model->removeRow(rows.value(id));
    }
    m_conflicting.clear();
    emit changed();
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
    // The tab saves the embedded editor's rows itself, with the question every tab asks.
    if (m_embedded) {
        emit saveRequested();
        return;
    }
    bool refused = false;
    const HSaveOutcome outcome = saveAskingOnConflict(
        this,
        [this, &refused](bool overwrite) {
            const SaveResult result = savePending(overwrite);
            refused = result.refused;
            return HSaveOutcome(result);
        },
        [this] { reloadKeepingEdits(); });
    if (outcome.ok) {
        close();
        return;
    }
    // The window stays open with every edit pending, so that the user can retry.
    if (outcome.cancelled)
        return;
    if (refused || !outcome.conflicts.isEmpty())
        HMessageBox::warning(this, TranslateString(QStringLiteral("Warning")), outcome.error);
    else
        HMessageBox::warning(this, tr("tableModel"),
                             QStringLiteral("数据库错误:") + tr("%1").arg(outcome.error));
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
