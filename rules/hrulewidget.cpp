#include "hrulewidget.h"
#include "ui_hrulewidget.h"

#include "hdatabase.h"
#include "hdbfind.h"
#include "hfindbar.h"
#include "hproductschema.h"
#include "hsaveround.h"
#include "hselectrulenamewidget.h"
#include "hsqlstatement.h"
#include "translatestring.h"

#include <QDebug>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QSqlQuery>
#include <QStringList>
#include <QVector>

#include <map>
#include <memory>

namespace {

const QString kSeriesArray = QStringLiteral("ar_odu_series");
const QString kId = QStringLiteral("ID");
const QString kCategory = QStringLiteral("category");
const QString kSubCatalog = QStringLiteral("sub_catalog");
const QString kPipeDimension = QStringLiteral("rule_pipe_dimmension");
const QString kCentralizedControl = QStringLiteral("rule_centralized_control");
const QString kLimit = QStringLiteral("rule_limit");
const QString kAdditionalCharge = QStringLiteral("rule_add_refri_charge");
const QString kConnectRatio = QStringLiteral("rule_connect_ratio");

// Column 0 items carry the index of their series in the document.
constexpr int kSeriesIndexRole = Qt::UserRole + 1;

// The table's columns, in order; the header labels are these keys.
const QStringList &columnKeys()
{
    static const QStringList keys = {kSubCatalog,         kCategory, kPipeDimension,
                                     kCentralizedControl, kLimit,    kAdditionalCharge,
                                     kConnectRatio};
    return keys;
}

// The five rule columns, in the order of the update's placeholders.
const QStringList &ruleKeys()
{
    static const QStringList keys = {kPipeDimension, kCentralizedControl, kLimit, kAdditionalCharge,
                                     kConnectRatio};
    return keys;
}

} // namespace

HRuleWidget::HRuleWidget(QWidget *parent)
    : HEditorPage(parent)
    , ui(new Ui::HRuleWidget)
{
    ui->setupUi(this);

    auto *layout = new QHBoxLayout;
    layout->addWidget(ui->tableWidget);
    setLayout(layout);

    HFindBar::attach(ui->tableWidget);
    HFindBar::installShortcut(this);

    loadDocument();
    fillTable();

    ui->tableWidget->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Rows keep the load order until the user sorts by a column.
    ui->tableWidget->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    ui->tableWidget->setSortingEnabled(true);
    connect(ui->tableWidget, &QTableWidget::cellDoubleClicked, this,
            &HRuleWidget::tableCellDoubleClicked);
    checkWritable({QStringLiteral("__product_series")}, {});
}

HRuleWidget::~HRuleWidget()
{
    delete ui;
}

QString HRuleWidget::ruleTableOf(const QString &seriesColumn)
{
    if (seriesColumn.isEmpty())
        return QString();
    for (const HProductSchema::RuleTable &rule : HProductSchema::ruleTables()) {
        if (rule.seriesColumn == seriesColumn)
            return rule.table;
    }
    return QString();
}

void HRuleWidget::loadDocument()
{
    // One statement for all outdoor series: the rule columns come with the rows.
    QSqlQuery query =
        HDbFind::getDb()->query(QStringLiteral("select * from %1 where [product_type] = 0")
                                    .arg(QStringLiteral("__product_series")));
    QJsonArray series;
    while (query.next()) {
        QJsonObject object;
        // A NULL reads as an empty text.
        object.insert(kCategory, query.value(kCategory).toString());
        object.insert(kSubCatalog, query.value(kSubCatalog).toString());
        for (const QString &key : ruleKeys())
            object.insert(key, query.value(key).toString());
        object.insert(kId, query.value(kId).toInt());
        series.append(object);
    }
    m_document.insert(kSeriesArray, series);
    m_saved = m_document;
}

void HRuleWidget::fillTable()
{
    const QJsonArray series = m_document.value(kSeriesArray).toArray();
    const QStringList &keys = columnKeys();
    // Items put into a sorted table would move while the rows are filled.
    const bool sorting = ui->tableWidget->isSortingEnabled();
    ui->tableWidget->setSortingEnabled(false);
    // Labels only reach columns that exist: count first.
    ui->tableWidget->setColumnCount(keys.size());
    ui->tableWidget->setHorizontalHeaderLabels(keys);
    ui->tableWidget->setRowCount(series.size());
    for (int row = 0; row < series.size(); ++row) {
        const QJsonObject object = series.at(row).toObject();
        for (int col = 0; col < keys.size(); ++col) {
            auto *item = new QTableWidgetItem(object.value(keys.at(col)).toString());
            if (col == 0)
                item->setData(kSeriesIndexRole, row);
            ui->tableWidget->setItem(row, col, item);
        }
    }
    ui->tableWidget->setSortingEnabled(sorting);
}

QTableWidgetItem *HRuleWidget::itemOf(int seriesIndex, int col) const
{
    for (int row = 0; row < ui->tableWidget->rowCount(); ++row) {
        const QTableWidgetItem *first = ui->tableWidget->item(row, 0);
        if (first && first->data(kSeriesIndexRole).toInt() == seriesIndex)
            return ui->tableWidget->item(row, col);
    }
    return nullptr;
}

void HRuleWidget::discardChanges()
{
    m_document = m_saved;
    fillTable();
    setModified(false);
    emit statusTextChanged();
}

QString HRuleWidget::statusText() const
{
    const QJsonArray series = m_document.value(kSeriesArray).toArray();
    int withRule = 0;
    for (const QJsonValue &value : series) {
        const QJsonObject object = value.toObject();
        for (const QString &key : ruleKeys()) {
            if (!object.value(key).toString().isEmpty()) {
                ++withRule;
                break;
            }
        }
    }
    return TranslateString(QStringLiteral("%1 outdoor series, %2 with a rule"))
        .arg(series.size())
        .arg(withRule);
}

void HRuleWidget::tableCellDoubleClicked(int row, int col)
{
    if (col == 0 || col == 1 || isReadOnly())
        return;
    QJsonArray series = m_document.value(kSeriesArray).toArray();
    // Rows may be sorted: each row knows which series it shows.
    const QTableWidgetItem *first = ui->tableWidget->item(row, 0);
    const int index = first ? first->data(kSeriesIndexRole).toInt() : -1;
    if (index < 0 || index >= series.size())
        return;
    const QTableWidgetItem *header = ui->tableWidget->horizontalHeaderItem(col);
    if (!header)
        return;
    const QString key = header->text();
    QJsonObject object = series.at(index).toObject();

    const QString table = ruleTableOf(key);
    if (table.isEmpty())
        return;

    HSelectRuleNameWidget picker(table);
    picker.setCurrentRuleName(object.value(key).toString());
    if (picker.exec() != QDialog::Accepted)
        return;
    const QString name = picker.selectedRuleName();
    // The item may have moved while the picker was open (a sort): find it again.
    if (QTableWidgetItem *cell = itemOf(index, col))
        cell->setText(name);
    object.insert(key, name);
    series.replace(index, object);
    m_document.insert(kSeriesArray, series);
    setModified(m_document != m_saved);
    emit statusTextChanged();
}

void HRuleWidget::save()
{
    HSaveOutcome outcome;
    const QJsonArray series = m_document.value(kSeriesArray).toArray();
    const QJsonArray saved = m_saved.value(kSeriesArray).toArray();
    HDatabase *db = HDbFind::getDb();

    // Only the rule columns the user changed, of the series where they changed: untouched
    // fields keep what they hold (a NULL stays NULL), and no edit means no statement.
    struct Change
    {
        int row;
        QStringList columns;
    };
    QVector<Change> changes;
    for (int row = 0; row < series.size() && row < saved.size(); ++row) {
        const QJsonObject now = series.at(row).toObject();
        const QJsonObject before = saved.at(row).toObject();
        Change change{row, {}};
        for (const QString &key : ruleKeys()) {
            if (now.value(key) != before.value(key))
                change.columns.append(key);
        }
        if (!change.columns.isEmpty())
            changes.append(change);
    }
    if (changes.isEmpty()) {
        HSaveRound::report(this, outcome);
        return;
    }

    // All series are written or none: the first failure rolls the whole save back, and the
    // edits stay as they are for another try.
    QString error;
    if (!db->transaction()) {
        error = db->errorString();
    } else {
        // Series that change the same columns share one prepared statement.
        std::map<QStringList, std::unique_ptr<HSqlStatement>> statements;
        for (const Change &change : qAsConst(changes)) {
            std::unique_ptr<HSqlStatement> &update = statements[change.columns];
            if (!update) {
                QStringList assignments;
                for (const QString &column : change.columns)
                    assignments.append(QStringLiteral("[%1] = ?").arg(column));
                update = std::make_unique<HSqlStatement>(
                    db, QStringLiteral("update %1 set %2 where [ID] = ?")
                            .arg(QStringLiteral("__product_series"),
                                 assignments.join(QLatin1Char(','))));
            }
            const QJsonObject object = series.at(change.row).toObject();
            int position = 0;
            for (const QString &column : change.columns)
                update->bind(position++, object.value(column).toString());
            update->bind(position, object.value(kId).toInt());
            qDebug().noquote() << update->sql() << object.value(kId).toInt() << change.columns;
            if (!update->exec()) {
                error = update->errorString();
                break;
            }
            // A series deleted meanwhile by someone else: its new rules would go nowhere.
            if (update->numRowsAffected() < 1) {
                error = TranslateString(
                            QStringLiteral("The outdoor series %1 / %2 (ID %3) is no longer in "
                                           "the product database; nothing was saved."))
                            .arg(object.value(kSubCatalog).toString(),
                                 object.value(kCategory).toString())
                            .arg(object.value(kId).toInt());
                break;
            }
            outcome.rowsChanged += update->numRowsAffected();
        }
        statements.clear();
        if (error.isEmpty() && !db->commit())
            error = db->errorString();
        if (!error.isEmpty())
            db->rollback();
    }
    if (error.isEmpty()) {
        m_saved = m_document;
        setModified(false);
    } else {
        outcome.ok = false;
        outcome.error = error;
        outcome.rowsChanged = 0;
    }
    HSaveRound::report(this, outcome);
}

void HRuleWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int columns = ui->tableWidget->columnCount();
    const int share = ui->tableWidget->width() / (columns + 1);
    QHeaderView *header = ui->tableWidget->horizontalHeader();
    // In a narrow tab a column keeps the width of its label, and the table scrolls instead.
    for (int i = 0; i < columns; ++i)
        ui->tableWidget->setColumnWidth(i, qMax(share, header->sectionSizeHint(i)));
}
