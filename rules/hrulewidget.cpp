#include "hrulewidget.h"
#include "ui_hrulewidget.h"

#include "hdatabase.h"
#include "hdbfind.h"
#include "hmessagebox.h"
#include "hproductschema.h"
#include "hselectrulenamewidget.h"
#include "translatestring.h"

#include <QDebug>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

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
    : QWidget(parent)
    , ui(new Ui::HRuleWidget)
{
    ui->setupUi(this);

    auto *layout = new QHBoxLayout;
    layout->addWidget(ui->tableWidget);
    setLayout(layout);

    loadDocument();
    fillTable();

    ui->tableWidget->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(ui->tableWidget, &QTableWidget::cellDoubleClicked, this,
            &HRuleWidget::tableCellDoubleClicked);
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
}

void HRuleWidget::fillTable()
{
    const QJsonArray series = m_document.value(kSeriesArray).toArray();
    const QStringList &keys = columnKeys();
    // Labels only reach columns that exist: count first.
    ui->tableWidget->setColumnCount(keys.size());
    ui->tableWidget->setHorizontalHeaderLabels(keys);
    ui->tableWidget->setRowCount(series.size());
    for (int row = 0; row < series.size(); ++row) {
        const QJsonObject object = series.at(row).toObject();
        for (int col = 0; col < keys.size(); ++col)
            ui->tableWidget->setItem(row, col,
                                     new QTableWidgetItem(object.value(keys.at(col)).toString()));
    }
}

void HRuleWidget::tableCellDoubleClicked(int row, int col)
{
    if (col == 0 || col == 1)
        return;
    QJsonArray series = m_document.value(kSeriesArray).toArray();
    if (row < 0 || row >= series.size())
        return;
    const QTableWidgetItem *header = ui->tableWidget->horizontalHeaderItem(col);
    if (!header)
        return;
    const QString key = header->text();
    QJsonObject object = series.at(row).toObject();

    const QString table = ruleTableOf(key);
    if (table.isEmpty())
        return;

    HSelectRuleNameWidget picker(table);
    if (picker.exec() != QDialog::Accepted)
        return;
    const QString name = picker.selectedRuleName();
    ui->tableWidget->setItem(row, col, new QTableWidgetItem(name));
    object.insert(key, name);
    series.replace(row, object);
    m_document.insert(kSeriesArray, series);
}

void HRuleWidget::save()
{
    const QJsonArray series = m_document.value(kSeriesArray).toArray();
    HDatabase *db = HDbFind::getDb();
    const QString statement =
        QStringLiteral("update %1 set [rule_pipe_dimmension] = ?,[rule_centralized_control] = "
                       "?,[rule_limit] = ?,[rule_add_refri_charge] = ?,[rule_connect_ratio] = ? "
                       "where [ID] = ?")
            .arg(QStringLiteral("__product_series"));

    // All series are written or none: the first failure rolls the whole save back.
    QString error;
    if (!db->transaction()) {
        error = db->errorString();
    } else {
        QSqlQuery update(db->getSqlDatabase());
        if (!update.prepare(statement)) {
            error = update.lastError().text();
        } else {
            for (const QJsonValue &value : series) {
                const QJsonObject object = value.toObject();
                for (int i = 0; i < ruleKeys().size(); ++i)
                    update.bindValue(i, object.value(ruleKeys().at(i)).toString());
                update.bindValue(ruleKeys().size(), object.value(kId).toInt());
                qDebug().noquote() << statement << update.boundValues();
                if (!update.exec()) {
                    error = update.lastError().text();
                    break;
                }
            }
        }
        update.finish();
        if (error.isEmpty() && !db->commit())
            error = db->errorString();
        if (!error.isEmpty())
            db->rollback();
    }
    if (!error.isEmpty())
        HMessageBox::warning(this, TranslateString(QStringLiteral("Warning")), error);
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
