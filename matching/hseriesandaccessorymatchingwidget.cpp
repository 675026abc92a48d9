#include "hseriesandaccessorymatchingwidget.h"
#include "ui_hseriesandaccessorymatchingwidget.h"

#include "hdatabase.h"
#include "hdbfind.h"
#include "hlabellist.h"
#include "hmatchingsave.h"
#include "hmessagebox.h"
#include "translatestring.h"

#include <QDebug>
#include <QItemSelectionModel>
#include <QJsonDocument>
#include <QStringListModel>

using namespace HSeriesAccessoryDocument;

HSeriesAndAccessoryMatchingWidget::HSeriesAndAccessoryMatchingWidget(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::HSeriesAndAccessoryMatchingWidget)
{
    ui->setupUi(this);

    ui->pushButton_remove->setText(TranslateString(QStringLiteral("-->")));
    ui->pushButton_add->setText(TranslateString(QStringLiteral("<--")));

    // The layout moves from `widget` to the editor so that the four columns fill the tab.
    setLayout(ui->horizontalLayout);

    HDatabase *db = HDbFind::getDb();
    m_series.load(db);
    initSeriesList();
    initIDUAccessoryList();
    initODUAccessoryList();
    initMatching();
    m_series.clear();
    m_accessories.clear();

    // The first item becomes current and fills the series and accessory lists through
    // on_comboBox_currentIndexChanged(0).
    ui->comboBox->insertItem(0, TranslateString(QStringLiteral("Outdoor Unit")));
    ui->comboBox->insertItem(1, TranslateString(QStringLiteral("Indoor Unit")));
    ui->comboBox->setCurrentIndex(0);

    for (QAbstractItemView *view : {static_cast<QAbstractItemView *>(ui->listView_all_accessory),
                                    static_cast<QAbstractItemView *>(ui->listView_all_series),
                                    static_cast<QAbstractItemView *>(ui->listView_match)}) {
        view->setSelectionMode(QAbstractItemView::MultiSelection);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
    }
    ui->listView_all_series->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui->listView_match->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui->listView_all_accessory->setEditTriggers(QAbstractItemView::NoEditTriggers);

    connect(this, &HSeriesAndAccessoryMatchingWidget::clickAll_SeriesList, this,
            &HSeriesAndAccessoryMatchingWidget::on_listView_all_series_clicked,
            Qt::DirectConnection);
}

HSeriesAndAccessoryMatchingWidget::~HSeriesAndAccessoryMatchingWidget()
{
    delete ui;
    ui = nullptr;

    // The snapshot records the document as it is now, saved or not.
    writeSnapshot();
}

bool HSeriesAndAccessoryMatchingWidget::writeSnapshot(QString *error) const
{
    const QJsonObject snapshot{{QStringLiteral("jsonObjMatching"), jsonObjMatching},
                               {QStringLiteral("jsonObjAccessory"), jsonObjAccessory}};
    return HMatchingSave::writeSnapshot(QJsonDocument(snapshot),
                                        QStringLiteral("series_and_acc.json"), error);
}

// --- the document ----------------------------------------------------------------------

void HSeriesAndAccessoryMatchingWidget::initSeriesList()
{
    HDatabase *db = HDbFind::getDb();
    const QList<int> odus = seriesIds(
        db, QStringLiteral("select * from %1 where [product_type] = 0 order by [sub_catalog]")
                .arg(QStringLiteral("__product_series")));
    const QList<int> idus = seriesIds(
        db, QStringLiteral("select * from %1 where [product_type] = 1  order by [sub_catalog]")
                .arg(QStringLiteral("__product_series")));

    auto entries = [this](const QList<int> &ids) {
        QJsonArray array;
        for (int id : ids) {
            QJsonObject record;
            getSeriesInfo(id, record);
            array.append(QJsonObject{{kObjSeries, record}, {kArMatching, QJsonArray()}});
        }
        return array;
    };
    jsonObjMatching.insert(kOduMatching, entries(odus));
    jsonObjMatching.insert(kIduMatching, entries(idus));
}

bool HSeriesAndAccessoryMatchingWidget::getSeriesInfo(int id_series, QJsonObject &info)
{
    return m_series.complete(id_series, info, true);
}

void HSeriesAndAccessoryMatchingWidget::initAccessoryList(int productType, bool forOdu)
{
    const QJsonArray records = accessoryRecords(HDbFind::getDb(), productType, m_series);
    QJsonArray offered;
    for (const QJsonValue &value : records) {
        const int accessoryKind = kind(value.toObject());
        const bool keep = forOdu ? (accessoryKind == 31 || accessoryKind == 3 || accessoryKind == 4)
                                 : accessoryKind < 10;
        if (keep)
            offered.append(value);
    }
    jsonObjAccessory.insert(forOdu ? kArForOdu : kArForIdu, offered);
}

void HSeriesAndAccessoryMatchingWidget::initIDUAccessoryList()
{
    initAccessoryList(10, false);
}

void HSeriesAndAccessoryMatchingWidget::initODUAccessoryList()
{
    initAccessoryList(2, true);
}

QJsonObject HSeriesAndAccessoryMatchingWidget::findAccessory(const QString &product_code)
{
    return m_accessories.find(product_code);
}

void HSeriesAndAccessoryMatchingWidget::initMatching()
{
    // Stored codes resolve through both accessory lists, outdoor list first, whatever the
    // kind of the series.
    m_accessories.build(jsonObjAccessory.value(kArForOdu).toArray(),
                        jsonObjAccessory.value(kArForIdu).toArray());
    HDatabase *db = HDbFind::getDb();

    auto attach = [&](const QString &key, const QString &statement, const QString &codeColumn) {
        const QJsonArray entries = jsonObjMatching.value(key).toArray();
        QList<int> ids;
        for (const QJsonValue &entry : entries)
            ids.append(entry.toObject().value(kObjSeries).toObject().value(kIdSeries).toInt());
        const QList<QStringList> codes = storedCodes(db, statement, codeColumn, ids);
        QJsonArray filled;
        for (int i = 0; i < entries.size(); ++i) {
            QJsonObject entry = entries.at(i).toObject();
            QJsonArray matched;
            for (const QString &code : codes.at(i)) {
                const QJsonObject accessory = findAccessory(code);
                if (!accessory.isEmpty())
                    matched.append(accessory);
            }
            entry.insert(kArMatching, matched);
            filled.append(entry);
        }
        jsonObjMatching.insert(key, filled);
    };
    attach(kOduMatching,
           QStringLiteral("select * from %1 where [id_series_odu] = ?")
               .arg(QStringLiteral("__rule_odu_acc_matching")),
           QStringLiteral("product_code_acc"));
    attach(kIduMatching,
           QStringLiteral("select * from %1 where [id_series] = ?")
               .arg(QStringLiteral("__rule_unit_acc_controller_matching")),
           QStringLiteral("product_code"));
}

// --- the lists -------------------------------------------------------------------------

QString HSeriesAndAccessoryMatchingWidget::seriesKey() const
{
    return ui->comboBox->currentIndex() == 0 ? kOduMatching : kIduMatching;
}

QString HSeriesAndAccessoryMatchingWidget::accessoryKey() const
{
    return ui->comboBox->currentIndex() == 0 ? kArForOdu : kArForIdu;
}

QString HSeriesAndAccessoryMatchingWidget::seriesLabel(const QJsonObject &record)
{
    const QString subCatalog = record.value(QStringLiteral("sub_catalog")).toString();
    const QString category = record.value(QStringLiteral("category")).toString();
    if (subCatalog.isEmpty())
        return category;
    return QStringLiteral("%1-%2").arg(subCatalog, category);
}

QList<int> HSeriesAndAccessoryMatchingWidget::selectedRows(QAbstractItemView *view)
{
    QList<int> rows;
    QAbstractItemModel *model = view->model();
    QItemSelectionModel *selection = view->selectionModel();
    if (!model || !selection)
        return rows;
    for (int row = 0; row < model->rowCount(); ++row) {
        if (selection->isSelected(model->index(row, 0)))
            rows.append(row);
    }
    return rows;
}

void HSeriesAndAccessoryMatchingWidget::refresh()
{
    emit clickAll_SeriesList(ui->listView_all_series->currentIndex());
}

void HSeriesAndAccessoryMatchingWidget::on_comboBox_currentIndexChanged(int index)
{
    const bool odu = index == 0;
    QStringList series;
    const QJsonArray entries = jsonObjMatching.value(odu ? kOduMatching : kIduMatching).toArray();
    for (const QJsonValue &entry : entries)
        series.append(seriesLabel(entry.toObject().value(kObjSeries).toObject()));
    HLabelList::install(ui->listView_all_series, series);

    QStringList accessories;
    const QJsonArray records = jsonObjAccessory.value(odu ? kArForOdu : kArForIdu).toArray();
    for (const QJsonValue &record : records)
        accessories.append(record.toObject().value(kModel).toString());
    HLabelList::install(ui->listView_all_accessory, accessories);
}

void HSeriesAndAccessoryMatchingWidget::on_listView_all_series_clicked(const QModelIndex &index)
{
    const QJsonArray entries = jsonObjMatching.value(seriesKey()).toArray();
    QStringList labels;
    if (index.isValid() && index.row() < entries.size()) {
        const QJsonArray matched = entries.at(index.row()).toObject().value(kArMatching).toArray();
        for (const QJsonValue &record : matched)
            labels.append(record.toObject().value(kModel).toString());
    }
    HLabelList::install(ui->listView_match, labels);
}

// --- adding and removing ---------------------------------------------------------------

void HSeriesAndAccessoryMatchingWidget::on_pushButton_add_clicked()
{
    QAbstractItemModel *accessories = ui->listView_all_accessory->model();
    const QList<int> accessoryRows = selectedRows(ui->listView_all_accessory);
    const QList<int> seriesRows = selectedRows(ui->listView_all_series);
    for (int accessoryRow : accessoryRows) {
        QJsonArray ar = jsonObjMatching.value(seriesKey()).toArray();
        for (int seriesRow : seriesRows)
            add_acc_to_series(ar, accessories->index(accessoryRow, 0), seriesRow);
    }
}

void HSeriesAndAccessoryMatchingWidget::on_listView_all_accessory_doubleClicked(
    const QModelIndex &index)
{
    QJsonArray ar = jsonObjMatching.value(seriesKey()).toArray();
    const QList<int> seriesRows = selectedRows(ui->listView_all_series);
    for (int seriesRow : seriesRows)
        add_acc_to_series(ar, index, seriesRow);
}

void HSeriesAndAccessoryMatchingWidget::add_acc_to_series(QJsonArray &ar, const QModelIndex &index,
                                                          int currentindex)
{
    if (currentindex < 0 || currentindex >= ar.size())
        return;
    QJsonObject entry = ar.at(currentindex).toObject();
    QJsonArray matched = entry.value(kArMatching).toArray();
    const QJsonArray offered = jsonObjAccessory.value(accessoryKey()).toArray();
    if (index.isValid() && index.row() < offered.size()) {
        const QJsonObject accessory = offered.at(index.row()).toObject();
        const QString model = accessory.value(kModel).toString();
        bool present = false;
        for (const QJsonValue &record : qAsConst(matched)) {
            if (record.toObject().value(kModel).toString() == model) {
                present = true;
                break;
            }
        }
        if (!present) {
            matched.append(accessory);
            entry.insert(kArMatching, matched);
            ar.replace(currentindex, entry);
        }
    }
    jsonObjMatching.insert(seriesKey(), ar);
    refresh();
}

void HSeriesAndAccessoryMatchingWidget::on_pushButton_remove_clicked()
{
    QAbstractItemModel *matchModel = ui->listView_match->model();
    QAbstractItemModel *seriesModel = ui->listView_all_series->model();
    const QList<int> matchRows = selectedRows(ui->listView_match);
    const QList<int> seriesRows = selectedRows(ui->listView_all_series);
    // The middle list is not redrawn during the walk, so its indexes stay valid; each
    // removal goes by the model the row shows, not by its position.
    for (int matchRow : matchRows) {
        QJsonArray ar = jsonObjMatching.value(seriesKey()).toArray();
        for (int seriesRow : seriesRows)
            remove_acc_from_series(ar, matchModel->index(matchRow, 0),
                                   seriesModel->index(seriesRow, 0));
    }
    refresh();
}

void HSeriesAndAccessoryMatchingWidget::on_listView_match_doubleClicked(const QModelIndex &index)
{
    remove_acc_from_listView(index);
    refresh();
}

void HSeriesAndAccessoryMatchingWidget::remove_acc_from_listView(const QModelIndex &index)
{
    QJsonArray ar = jsonObjMatching.value(seriesKey()).toArray();
    QAbstractItemModel *seriesModel = ui->listView_all_series->model();
    const QList<int> seriesRows = selectedRows(ui->listView_all_series);
    for (int seriesRow : seriesRows)
        remove_acc_from_series(ar, index, seriesModel->index(seriesRow, 0));
}

void HSeriesAndAccessoryMatchingWidget::remove_acc_from_series(QJsonArray &ar,
                                                               const QModelIndex &index,
                                                               const QModelIndex &idxAtSeriesList)
{
    const int row = idxAtSeriesList.row();
    if (row < 0 || row >= ar.size())
        return;
    QJsonObject entry = ar.at(row).toObject();
    if (entry.isEmpty())
        return;
    const QString model = index.data().toString();
    const QJsonArray matched = entry.value(kArMatching).toArray();
    QJsonArray kept;
    for (const QJsonValue &record : matched) {
        if (record.toObject().value(kModel).toString() != model)
            kept.append(record);
    }
    entry.insert(kArMatching, kept);
    ar.replace(row, entry);
    jsonObjMatching.insert(seriesKey(), ar);
}

void HSeriesAndAccessoryMatchingWidget::on_listView_all_accessory_clicked(const QModelIndex &index)
{
    // A click only toggles the row's selection.
    Q_UNUSED(index)
}

// --- saving ----------------------------------------------------------------------------

bool HSeriesAndAccessoryMatchingWidget::writeIduMatching(QString *error)
{
    return HMatchingSave::rewriteTable(
        HDbFind::getDb(), QStringLiteral("__rule_unit_acc_controller_matching"),
        iduInserts(jsonObjMatching.value(kIduMatching).toArray()), false, error);
}

bool HSeriesAndAccessoryMatchingWidget::writeOduMatching(QString *error)
{
    return HMatchingSave::rewriteTable(HDbFind::getDb(), QStringLiteral("__rule_odu_acc_matching"),
                                       oduInserts(jsonObjMatching.value(kOduMatching).toArray()),
                                       false, error);
}

void HSeriesAndAccessoryMatchingWidget::warn(const QStringList &errors)
{
    QStringList texts = errors;
    texts.removeDuplicates();
    HMessageBox::warning(this, TranslateString(QStringLiteral("Warning")),
                         texts.join(QLatin1Char('\n')));
}

void HSeriesAndAccessoryMatchingWidget::saveIDUAndAccController()
{
    QString error;
    if (!writeIduMatching(&error))
        warn({error});
}

void HSeriesAndAccessoryMatchingWidget::saveODUAndBranch()
{
    QString error;
    if (!writeOduMatching(&error))
        warn({error});
}

void HSeriesAndAccessoryMatchingWidget::save()
{
    // Each table is rewritten in a transaction of its own; a failure of one leaves that
    // table as it was and is reported together with the other's, in one warning.
    QStringList errors;
    QString error;
    if (!writeIduMatching(&error))
        errors.append(error);
    if (!writeOduMatching(&error))
        errors.append(error);
    if (!errors.isEmpty())
        warn(errors);
}
