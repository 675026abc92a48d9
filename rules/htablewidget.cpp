#include "htablewidget.h"
#include "ui_htablewidget.h"

#include "hdatabase.h"
#include "hdbfind.h"
#include "hmessagebox.h"

#include <QHeaderView>
#include <QPushButton>
#include <QSqlError>
#include <QSqlRecord>
#include <QSqlTableModel>
#include <QVector>

namespace {

void fetchRest(QSqlTableModel *model)
{
    while (model->canFetchMore())
        model->fetchMore();
}

// What the user changed in a table model and has not saved yet, in a form that can be
// applied again to a freshly selected model of the same table.
struct PendingEdits
{
    struct Cell
    {
        int column;
        QVariant value;
    };
    struct Update
    {
        int row;
        QVector<Cell> cells;
    };
    QVector<Update> updates;
    QVector<int> deletes;
    QVector<QVector<Cell>> inserts;

    static PendingEdits take(const QSqlTableModel *model)
    {
        PendingEdits edits;
        const int columns = model->columnCount();
        for (int row = 0; row < model->rowCount(); ++row) {
            const QString mark = model->headerData(row, Qt::Vertical).toString();
            if (mark == QLatin1String("!")) {
                edits.deletes.append(row);
            } else if (mark == QLatin1String("*")) {
                const QSqlRecord record = model->record(row);
                QVector<Cell> cells;
                for (int column = 0; column < columns; ++column) {
                    if (record.isGenerated(column))
                        cells.append({column, record.value(column)});
                }
                edits.inserts.append(cells);
            } else {
                Update update{row, {}};
                for (int column = 0; column < columns; ++column) {
                    const QModelIndex index = model->index(row, column);
                    if (model->isDirty(index))
                        update.cells.append({column, index.data(Qt::EditRole)});
                }
                if (!update.cells.isEmpty())
                    edits.updates.append(update);
            }
        }
        return edits;
    }

    // Rows keep their positions: the model was selected again from an unchanged table,
    // and deleted rows stay in a manual-submit model until they are saved.
    void applyTo(QSqlTableModel *model) const
    {
        for (const Update &update : updates) {
            for (const Cell &cell : update.cells)
                model->setData(model->index(update.row, cell.column), cell.value);
        }
        for (int row : deletes)
            model->removeRow(row);
        for (const QVector<Cell> &cells : inserts) {
            const int row = model->rowCount();
            model->insertRow(row);
            for (const Cell &cell : cells)
                model->setData(model->index(row, cell.column), cell.value);
        }
    }
};

// Selects the table and fetches every row: rows are added at the end of the model and
// pending edits are put back by row number, both of which need the whole table loaded.
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
    auto *model = new QSqlTableModel(this, HDbFind::getDb()->getSqlDatabase());
    model->setTable(m_tableName);
    model->setEditStrategy(QSqlTableModel::OnManualSubmit);
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

void HTableWidget::on_buttonBox_accepted()
{
    if (m_model) {
        QSqlDatabase db = m_model->database();
        const PendingEdits edits = PendingEdits::take(m_model);
        // A save that cannot be made one transaction, or whose commit fails, is a failed
        // save like a refused row: rolled back, edits kept, the user told.
        QString error;
        const bool began = db.transaction();
        bool saved = began;
        if (!began)
            error = db.lastError().text();
        else if (!(saved = m_model->submitAll()))
            error = m_model->lastError().text();
        else if (!(saved = db.commit()))
            error = db.lastError().text();
        if (saved) {
            fetchRest(m_model);
        } else {
            if (began) // never end a transaction somebody else began on the connection
                db.rollback();
            // Rows written before the failing one are marked as saved in the model although
            // the rollback undid them; select the table again and put every edit back, so
            // that the view shows what is pending and a second save writes all of it.
            selectAll(m_model);
            edits.applyTo(m_model);
            HMessageBox::warning(this, tr("tableModel"),
                                 QStringLiteral("数据库错误:") + tr("%1").arg(error));
        }
    }
    // The embedded editor is the permanent content of its tab: it stays visible.
    if (!m_embedded)
        close();
}

void HTableWidget::on_buttonBox_rejected()
{
    close();
}
