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
#include <QSqlRecord>
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

QJsonValue jsonOf(const QVariant &value)
{
    return value.isNull() ? QJsonValue() : QJsonValue(value.toString());
}

QVariant variantOf(const QJsonValue &value)
{
    return value.isNull() ? QVariant() : QVariant(value.toString());
}

// The series as the user knows it.
QString seriesName(const QJsonObject &object)
{
    return QStringLiteral("%1 / %2").arg(object.value(kSubCatalog).toString(),
                                         object.value(kCategory).toString());
}

QString seriesKey(const QJsonObject &object)
{
    return QStringLiteral("%1 (ID %2)").arg(seriesName(object)).arg(object.value(kId).toInt());
}

const QString kWholeRow = QStringLiteral("(row)");

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
    // Ordered, so that a reload shows the rows where they were on every back end.
    HSqlStatement query(HDbFind::getDb(),
                        QStringLiteral("select * from %1 where [product_type] = 0 order by [ID]")
                            .arg(QStringLiteral("__product_series")));
    query.exec();
    // Columns are found by name once: on some back ends a lookup by name describes the
    // whole row each time.
    const QSqlRecord columns = query.record();
    const QStringList names = QStringList{kCategory, kSubCatalog, kId} + ruleKeys();
    QVector<int> index;
    for (const QString &name : names)
        index.append(columns.indexOf(name));
    const auto at = [&](int i) { return index.at(i) < 0 ? QVariant() : query.value(index.at(i)); };
    QJsonArray series;
    while (query.next()) {
        QJsonObject object;
        object.insert(kCategory, at(0).toString());
        object.insert(kSubCatalog, at(1).toString());
        // A NULL rule stays null (shown as an empty cell): a save must know it was NULL, to
        // find the row by it and to leave it NULL when untouched.
        for (int i = 3; i < names.size(); ++i)
            object.insert(names.at(i), jsonOf(at(i)));
        object.insert(kId, at(2).toInt());
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
    // Back to what is stored is no edit, a NULL included.
    const QJsonValue stored = m_saved.value(kSeriesArray).toArray().at(index).toObject().value(key);
    object.insert(key, stored.toString() == name ? stored : QJsonValue(name));
    series.replace(index, object);
    m_document.insert(kSeriesArray, series);
    setModified(m_document != m_saved);
    emit statusTextChanged();
}

QVector<HRuleWidget::Change> HRuleWidget::changes() const
{
    const QJsonArray series = m_document.value(kSeriesArray).toArray();
    const QJsonArray saved = m_saved.value(kSeriesArray).toArray();
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
    return changes;
}

QVector<HAuditEntry> HRuleWidget::pendingEdits() const
{
    const QJsonArray series = m_document.value(kSeriesArray).toArray();
    const QJsonArray saved = m_saved.value(kSeriesArray).toArray();
    QVector<HAuditEntry> entries;
    for (const Change &change : changes()) {
        const QJsonObject now = series.at(change.row).toObject();
        const QJsonObject before = saved.at(change.row).toObject();
        for (const QString &column : change.columns)
            entries.append({QStringLiteral("__product_series"), seriesName(now), seriesKey(now),
                            column, variantOf(before.value(column)), variantOf(now.value(column))});
    }
    return entries;
}

void HRuleWidget::save()
{
    runSave([this](bool overwrite) { return attemptSave(overwrite); });
}

HSaveOutcome HRuleWidget::attemptSave(bool overwrite)
{
    HSaveOutcome outcome;
    const QVector<Change> changes = this->changes();
    // Only the rule columns the user changed, of the series where they changed: untouched
    // fields keep what they hold (a NULL stays NULL), and no edit means no statement.
    if (changes.isEmpty())
        return outcome;
    const QJsonArray series = m_document.value(kSeriesArray).toArray();
    const QJsonArray saved = m_saved.value(kSeriesArray).toArray();
    HDatabase *db = HDbFind::getDb();
    if (!overwrite)
        m_seen.clear();
    QSet<QString> conflicting;

    // All series are written or none: the first failure, or any row another user changed
    // meanwhile, rolls the whole save back, and the edits stay as they are.
    QString error;
    if (!db->transaction()) {
        error = db->errorString();
    } else {
        // Series that change the same columns from the same kind of value share one
        // prepared statement.
        std::map<QString, std::unique_ptr<HSqlStatement>> statements;
        auto prepared = [&](const QString &sql) -> HSqlStatement & {
            std::unique_ptr<HSqlStatement> &slot = statements[sql];
            if (!slot)
                slot = std::make_unique<HSqlStatement>(db, sql);
            return *slot;
        };
        for (const Change &change : qAsConst(changes)) {
            const QJsonObject object = series.at(change.row).toObject();
            const QJsonObject before = saved.at(change.row).toObject();
            const int id = object.value(kId).toInt();
            QStringList assignments, where = {QStringLiteral("[ID] = ?")};
            QVariantList values;
            for (const QString &column : change.columns) {
                assignments.append(QStringLiteral("[%1] = ?").arg(column));
                values.append(object.value(column).toString());
            }
            values.append(id);
            // The values loaded, so that a rule another user changed meanwhile is not
            // overwritten without a word; a NULL equals nothing, not even a NULL.
            for (const QString &column : overwrite ? QStringList() : change.columns) {
                const QJsonValue old = before.value(column);
                where.append(HSqlStatement::holds(
                    column, old.isNull() ? QVariant() : QVariant(old.toString()), &values));
            }
            HSqlStatement &update = prepared(QStringLiteral("update %1 set %2 where %3")
                                                 .arg(QStringLiteral("__product_series"),
                                                      assignments.join(QLatin1Char(',')),
                                                      where.join(QStringLiteral(" and "))));
            for (int i = 0; i < values.size(); ++i)
                update.bind(i, values.at(i));
            if (!update.exec()) {
                error = update.errorString();
                break;
            }
            if (update.numRowsAffected() > 0) {
                outcome.rowsChanged += update.numRowsAffected();
                const bool seen = overwrite && m_seen.contains(id);
                for (const QString &column : change.columns)
                    outcome.history.append(
                        {QStringLiteral("__product_series"), seriesName(object), seriesKey(object),
                         column,
                         seen ? m_seen.value(id).value(column) : variantOf(before.value(column)),
                         variantOf(object.value(column))});
                continue;
            }
            // Nothing matched: say what is stored now, once per series found in the way.
            HSqlStatement &read = prepared(QStringLiteral("select [%1] from %2 where [ID] = ?")
                                               .arg(ruleKeys().join(QStringLiteral("], [")),
                                                    QStringLiteral("__product_series")));
            read.bind(0, id);
            if (!read.exec()) {
                error = read.errorString();
                break;
            }
            if (!read.next()) {
                read.finish();
                if (overwrite) {
                    error = TranslateString(
                                QStringLiteral(
                                    "The outdoor series %1 (ID %2) is no longer in the product "
                                    "database; nothing was saved."))
                                .arg(seriesName(object))
                                .arg(id);
                    break;
                }
                conflicting.insert(QStringLiteral("%1/%2").arg(id).arg(kWholeRow));
                outcome.conflicts.append(
                    {seriesName(object), change.columns.join(QStringLiteral(", ")),
                     TranslateString(QStringLiteral("removed by another user"))});
                continue;
            }
            QHash<QString, QVariant> now;
            for (int i = 0; i < ruleKeys().size(); ++i)
                now.insert(ruleKeys().at(i), read.value(i));
            read.finish();
            m_seen.insert(id, now);
            for (const QString &column : change.columns) {
                const QVariant old = variantOf(before.value(column));
                const QVariant stored = now.value(column);
                if (old.isNull() == stored.isNull() && old.toString() == stored.toString())
                    continue;
                conflicting.insert(QStringLiteral("%1/%2").arg(id).arg(column));
                outcome.conflicts.append(
                    {seriesName(object), column,
                     TranslateString(QStringLiteral("now %1, was %2"))
                         .arg(HSqlStatement::shownValue(stored), HSqlStatement::shownValue(old))});
            }
        }
        statements.clear();
        if (error.isEmpty() && outcome.conflicts.isEmpty() && !db->commit())
            error = db->errorString();
        if (!error.isEmpty() || !outcome.conflicts.isEmpty())
            db->rollback();
    }
    if (!outcome.conflicts.isEmpty()) {
        m_conflicting = conflicting;
        outcome.ok = false;
        outcome.rowsChanged = 0;
        outcome.history.clear();
    } else if (error.isEmpty()) {
        m_saved = m_document;
        m_seen.clear();
        setModified(false);
    } else {
        outcome.ok = false;
        outcome.error = error;
        outcome.rowsChanged = 0;
        outcome.history.clear();
    }
    return outcome;
}

void HRuleWidget::reloadKeepingEdits(const QVector<HConflict> &conflicts)
{
    Q_UNUSED(conflicts) // the save noted which edits were in the way, by series ID
    struct Edit
    {
        int id;
        QString column;
        QJsonValue value;
    };
    QVector<Edit> edits;
    const QJsonArray series = m_document.value(kSeriesArray).toArray();
    for (const Change &change : changes()) {
        const QJsonObject object = series.at(change.row).toObject();
        const int id = object.value(kId).toInt();
        if (m_conflicting.contains(QStringLiteral("%1/%2").arg(id).arg(kWholeRow)))
            continue;
        for (const QString &column : change.columns) {
            if (!m_conflicting.contains(QStringLiteral("%1/%2").arg(id).arg(column)))
                edits.append({id, column, object.value(column)});
        }
    }
    m_conflicting.clear();
    loadDocument();
    QJsonArray reloaded = m_document.value(kSeriesArray).toArray();
    for (const Edit &edit : qAsConst(edits)) {
        for (int row = 0; row < reloaded.size(); ++row) {
            QJsonObject object = reloaded.at(row).toObject();
            if (object.value(kId).toInt() != edit.id)
                continue;
            if (object.value(edit.column).toString() != edit.value.toString()) {
                object.insert(edit.column, edit.value);
                reloaded.replace(row, object);
            }
            break;
        }
    }
    m_document.insert(kSeriesArray, reloaded);
    fillTable();
    setModified(m_document != m_saved);
    emit statusTextChanged();
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
