#include "hseriesandaccessorymatchingwidget.h"
#include "ui_hseriesandaccessorymatchingwidget.h"

#include "hdatabase.h"
#include "hdbfind.h"
#include "hfindbar.h"
#include "hlabellist.h"
#include "hmatchingedit.h"
#include "hmatchingload.h"
#include "hmatchingsave.h"
#include "translatestring.h"

#include <QItemSelectionModel>
#include <QLocale>
#include <QUndoStack>
#include <QJsonDocument>
#include <QLabel>
#include <QPushButton>
#include <QStringListModel>

#include <algorithm>
#include <system_error>

using namespace HSeriesAccessoryDocument;

HSeriesAndAccessoryMatchingWidget::HSeriesAndAccessoryMatchingWidget(QWidget *parent)
    : HEditorPage(parent)
    , ui(new Ui::HSeriesAndAccessoryMatchingWidget)
    , m_undo(new QUndoStack(this))
{
    ui->setupUi(this);

    ui->pushButton_remove->setText(TranslateString(QStringLiteral("-->")));
    ui->pushButton_add->setText(TranslateString(QStringLiteral("<--")));
    ui->pushButton_remove->setToolTip(TranslateString(
        QStringLiteral("Removes the selected accessories from the selected series")));
    ui->pushButton_add->setToolTip(
        TranslateString(QStringLiteral("Adds the selected accessories to the selected series")));

    // The layout moves from `widget` into the editor so that the four columns fill the tab,
    // under the notice shown when loading failed.
    m_notice = HMatchingLoad::installNotice(this, ui->horizontalLayout);

    for (QAbstractItemView *view : {static_cast<QAbstractItemView *>(ui->listView_all_accessory),
                                    static_cast<QAbstractItemView *>(ui->listView_all_series),
                                    static_cast<QAbstractItemView *>(ui->listView_match)}) {
        HFindBar::attach(view);
        HLabelList::keepSelectionOnTypeAhead(view);
    }
    HFindBar::installShortcut(this);
    connect(HFindBar::of(ui->listView_all_series), &HFindBar::filtered, this,
            &HEditorPage::statusTextChanged);

    // Undo and redo within the tab, also from the context menu.
    HMatchingEdit::installActions(this, m_undo);

    load();
    // A user who may only read the database sees it, with the same buttons off.
    if (!m_readOnly)
        m_readOnly = !checkWritable({QStringLiteral("__rule_odu_acc_matching"),
                                     QStringLiteral("__rule_unit_acc_controller_matching")},
                                    {ui->pushButton_add, ui->pushButton_remove});
    ui->pushButton_add->setEnabled(!m_readOnly);
    ui->pushButton_remove->setEnabled(!m_readOnly);

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

void HSeriesAndAccessoryMatchingWidget::load()
{
    jsonObjMatching = QJsonObject();
    jsonObjAccessory = QJsonObject();
    m_indoor = Kind();
    m_outdoor = Kind();
    m_undo->clear();

    HMatchingLoad load(HDbFind::getDb());
    m_series.load(load);
    initSeriesList(load);
    m_accessoryRecords = accessoryRecords(load, m_series);
    initIDUAccessoryList();
    initODUAccessoryList();
    initMatching(load);
    m_series.clear();
    m_accessories.clear();
    m_accessoryRecords = {};
    // Without every stored row the tab cannot tell what the user removed: no edits, no save.
    m_readOnly = load.failed() || HEditorPage::isReadOnly();
    HMatchingLoad::showFailures(m_notice, load.failures());
    ui->pushButton_add->setEnabled(!m_readOnly);
    ui->pushButton_remove->setEnabled(!m_readOnly);
    setModified(false);
}

void HSeriesAndAccessoryMatchingWidget::discardChanges()
{
    load();
    on_comboBox_currentIndexChanged(ui->comboBox->currentIndex());
}

QString HSeriesAndAccessoryMatchingWidget::statusText() const
{
    const QJsonArray entries = jsonObjMatching.value(seriesKey()).toArray();
    QList<int> rows;
    for (int row = 0; row < entries.size(); ++row)
        rows.append(row);
    if (const HFindBar *find = HFindBar::of(ui->listView_all_series))
        rows = find->shownRows(rows);
    int pairs = 0;
    for (int row : qAsConst(rows))
        pairs += entries.at(row).toObject().value(kArMatching).toArray().size();
    const QString text =
        seriesKey() == kOduMatching
            ? TranslateString(QStringLiteral("%1 outdoor series, %2 accessories matched"))
            : TranslateString(QStringLiteral("%1 indoor series, %2 accessories matched"));
    return text.arg(QLocale().toString(rows.size()), QLocale().toString(pairs));
}

HSeriesAndAccessoryMatchingWidget::~HSeriesAndAccessoryMatchingWidget()
{
    // The snapshot records the document as it is now, saved or not.
    if (m_closingSnapshot.valid())
        m_closingSnapshot.wait();
    else
        writeSnapshot();
    delete ui;
    ui = nullptr;
}

void HSeriesAndAccessoryMatchingWidget::beginClosing()
{
    // The document stays as it is until the destructor, which waits for the write. Without
    // a thread to be had, the destructor writes it.
    if (m_closingSnapshot.valid())
        return;
    try {
        m_closingSnapshot = std::async(std::launch::async, [this] { return writeSnapshot(); });
    } catch (const std::system_error &) {
    }
}

bool HSeriesAndAccessoryMatchingWidget::writeSnapshot(QString *error) const
{
    // By series and product code: the order the database gives its rows in does not matter.
    auto byCode = [](const QJsonObject &record) {
        return HMatchingSave::SortKey(0, record.value(kProductCode).toString());
    };
    QJsonObject matching = jsonObjMatching;
    for (const QString &key : {kOduMatching, kIduMatching}) {
        QJsonArray entries;
        for (const QJsonValue &value : jsonObjMatching.value(key).toArray()) {
            QJsonObject entry = value.toObject();
            entry.insert(kArMatching,
                         HMatchingSave::sorted(entry.value(kArMatching).toArray(), byCode));
            entries.append(entry);
        }
        matching.insert(key, HMatchingSave::sorted(entries, [](const QJsonObject &entry) {
                            return HMatchingSave::SortKey(
                                entry.value(kObjSeries).toObject().value(kIdSeries).toInt(),
                                QString());
                        }));
    }
    QJsonObject accessories = jsonObjAccessory;
    for (const QString &key : {kArForOdu, kArForIdu})
        accessories.insert(key,
                           HMatchingSave::sorted(jsonObjAccessory.value(key).toArray(), byCode));
    const QJsonObject snapshot{{QStringLiteral("jsonObjMatching"), matching},
                               {QStringLiteral("jsonObjAccessory"), accessories}};
    return HMatchingSave::writeSnapshot(QJsonDocument(snapshot),
                                        QStringLiteral("series_and_acc.json"), error);
}

// --- the document ----------------------------------------------------------------------

void HSeriesAndAccessoryMatchingWidget::initSeriesList(HMatchingLoad &load)
{
    const QList<int> odus = seriesIds(
        load, QStringLiteral("select [id_series] from %1 where [product_type] = 0 order by "
                             "[sub_catalog]")
                  .arg(QStringLiteral("__product_series")));
    const QList<int> idus = seriesIds(
        load, QStringLiteral("select [id_series] from %1 where [product_type] = 1  order by "
                             "[sub_catalog]")
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

void HSeriesAndAccessoryMatchingWidget::initAccessoryList(const QJsonArray &records, bool forOdu)
{
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
    initAccessoryList(m_accessoryRecords.indoor, false);
}

void HSeriesAndAccessoryMatchingWidget::initODUAccessoryList()
{
    initAccessoryList(m_accessoryRecords.outdoor, true);
}

QJsonObject HSeriesAndAccessoryMatchingWidget::findAccessory(const QString &product_code)
{
    return m_accessories.find(product_code);
}

void HSeriesAndAccessoryMatchingWidget::initMatching(HMatchingLoad &load)
{
    // Stored codes resolve through both accessory lists, outdoor list first, whatever the
    // kind of the series. Codes that resolve to nothing, and rows of series this tab does not
    // list, stay out of the document and out of every save.
    m_accessories.build(jsonObjAccessory.value(kArForOdu).toArray(),
                        jsonObjAccessory.value(kArForIdu).toArray());
    m_accessoryModels.clear();
    for (const QString &key : {kArForOdu, kArForIdu}) {
        const QJsonArray records = jsonObjAccessory.value(key).toArray();
        for (const QJsonValue &value : records) {
            const QJsonObject record = value.toObject();
            const QString code = record.value(kProductCode).toString();
            if (!m_accessoryModels.contains(code))
                m_accessoryModels.insert(code, record.value(kModel).toString());
        }
    }

    auto attach = [&](const QString &key, const QString &table, const QString &seriesColumn,
                      const QString &codeColumn, Kind *kind) {
        const QHash<int, QStringList> codes = storedCodes(load, table, seriesColumn, codeColumn);
        const QJsonArray entries = jsonObjMatching.value(key).toArray();
        QJsonArray filled;
        for (const QJsonValue &value : entries) {
            QJsonObject entry = value.toObject();
            const int id = entry.value(kObjSeries).toObject().value(kIdSeries).toInt();
            kind->rowsOfSeries[id].append(filled.size());
            QJsonArray matched;
            // A series listed twice counts its pairs on each row, as a save counts them.
            PairCounts &stored = kind->stored[id];
            for (const QString &code : codes.value(id)) {
                const QJsonObject accessory = findAccessory(code);
                if (accessory.isEmpty())
                    continue;
                matched.append(accessory);
                stored.add(id, code, accessory);
            }
            entry.insert(kArMatching, matched);
            filled.append(entry);
        }
        jsonObjMatching.insert(key, filled);
    };
    attach(kOduMatching, QStringLiteral("__rule_odu_acc_matching"), QStringLiteral("id_series_odu"),
           QStringLiteral("product_code_acc"), &m_outdoor);
    attach(kIduMatching, QStringLiteral("__rule_unit_acc_controller_matching"),
           QStringLiteral("id_series"), QStringLiteral("product_code"), &m_indoor);
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

void HSeriesAndAccessoryMatchingWidget::refresh()
{
    emit clickAll_SeriesList(ui->listView_all_series->currentIndex());
}

void HSeriesAndAccessoryMatchingWidget::on_comboBox_currentIndexChanged(int index)
{
    const bool odu = index == 0;
    QStringList series;
    QList<QStringList> apart;
    const QJsonArray entries = jsonObjMatching.value(odu ? kOduMatching : kIduMatching).toArray();
    for (const QJsonValue &entry : entries) {
        const QJsonObject record = entry.toObject().value(kObjSeries).toObject();
        series.append(seriesLabel(record));
        // Series sharing a label differ by name, else by type, else by id.
        apart.append({record.value(QStringLiteral("product_series")).toString(),
                      record.value(QStringLiteral("odu_type")).toString(),
                      QStringLiteral("#%1").arg(record.value(kIdSeries).toInt())});
    }
    HLabelList::install(ui->listView_all_series, HLabelList::distinct(series, apart));
    HLabelList::onCurrentChanged(ui->listView_all_series, this,
                                 [this](const QModelIndex &) { refresh(); });

    QStringList accessories;
    const QJsonArray records = jsonObjAccessory.value(odu ? kArForOdu : kArForIdu).toArray();
    for (const QJsonValue &record : records)
        accessories.append(record.toObject().value(kModel).toString());
    HLabelList::install(ui->listView_all_accessory, accessories);
    // The middle list showed a series of the other kind.
    HLabelList::install(ui->listView_match, {});
    emit statusTextChanged();
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
    addAccessories(HLabelList::chosenRows(ui->listView_all_accessory));
}

void HSeriesAndAccessoryMatchingWidget::on_listView_all_accessory_doubleClicked(
    const QModelIndex &index)
{
    if (index.isValid())
        addAccessories({index.row()});
}

void HSeriesAndAccessoryMatchingWidget::addAccessories(const QList<int> &accessoryRows)
{
    if (m_readOnly)
        return;
    QAbstractItemModel *accessories = ui->listView_all_accessory->model();
    const QList<int> seriesRows = HLabelList::chosenRows(ui->listView_all_series);
    QJsonArray ar = jsonObjMatching.value(seriesKey()).toArray();
    for (int accessoryRow : accessoryRows) {
        for (int seriesRow : seriesRows)
            add_acc_to_series(ar, accessories->index(accessoryRow, 0), seriesRow);
    }
    edit(TranslateString(QStringLiteral("Add accessories")), ar);
}

void HSeriesAndAccessoryMatchingWidget::add_acc_to_series(QJsonArray &ar, const QModelIndex &index,
                                                          int currentindex)
{
    if (m_readOnly)
        return;
    if (currentindex < 0 || currentindex >= ar.size())
        return;
    QJsonObject entry = ar.at(currentindex).toObject();
    QJsonArray matched = entry.value(kArMatching).toArray();
    const QJsonArray offered = jsonObjAccessory.value(accessoryKey()).toArray();
    if (!index.isValid() || index.row() >= offered.size())
        return;
    const QJsonObject accessory = offered.at(index.row()).toObject();
    const QString model = accessory.value(kModel).toString();
    for (const QJsonValue &record : qAsConst(matched)) {
        if (record.toObject().value(kModel).toString() == model)
            return;
    }
    matched.append(accessory);
    entry.insert(kArMatching, matched);
    ar.replace(currentindex, entry);
}

void HSeriesAndAccessoryMatchingWidget::on_pushButton_remove_clicked()
{
    QStringList models;
    QAbstractItemModel *matchModel = ui->listView_match->model();
    const QList<int> matchRows = HLabelList::chosenRows(ui->listView_match);
    for (int matchRow : matchRows)
        models.append(matchModel->index(matchRow, 0).data().toString());
    removeModels(models);
    refresh();
}

void HSeriesAndAccessoryMatchingWidget::on_listView_match_doubleClicked(const QModelIndex &index)
{
    remove_acc_from_listView(index);
    refresh();
}

void HSeriesAndAccessoryMatchingWidget::remove_acc_from_listView(const QModelIndex &index)
{
    if (index.isValid())
        removeModels({index.data().toString()});
}

void HSeriesAndAccessoryMatchingWidget::removeModels(const QStringList &models)
{
    if (m_readOnly || models.isEmpty())
        return;
    QJsonArray ar = jsonObjMatching.value(seriesKey()).toArray();
    QAbstractItemModel *seriesModel = ui->listView_all_series->model();
    const QList<int> seriesRows = HLabelList::chosenRows(ui->listView_all_series);
    // Each removal goes by the model the row shows, not by its position.
    auto *labels = new QStringListModel(models);
    for (int i = 0; i < models.size(); ++i) {
        for (int seriesRow : seriesRows)
            remove_acc_from_series(ar, labels->index(i, 0), seriesModel->index(seriesRow, 0));
    }
    delete labels;
    edit(TranslateString(QStringLiteral("Remove accessories")), ar);
}

void HSeriesAndAccessoryMatchingWidget::remove_acc_from_series(QJsonArray &ar,
                                                               const QModelIndex &index,
                                                               const QModelIndex &idxAtSeriesList)
{
    if (m_readOnly)
        return;
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
    if (kept.size() == matched.size())
        return;
    entry.insert(kArMatching, kept);
    ar.replace(row, entry);
}

void HSeriesAndAccessoryMatchingWidget::on_listView_all_accessory_clicked(const QModelIndex &index)
{
    // A click only toggles the row's selection.
    Q_UNUSED(index)
}

void HSeriesAndAccessoryMatchingWidget::edit(const QString &text, const QJsonArray &entries)
{
    const int kind = ui->comboBox->currentIndex() == 0 ? 0 : 1;
    HMatchingEdit::Lists before;
    HMatchingEdit::Lists after;
    if (!HMatchingEdit::changedRows(kind, jsonObjMatching.value(seriesKey()).toArray(), entries,
                                    kArMatching, &before, &after))
        return;
    m_undo->push(new HMatchingEdit(text, before, after,
                                   [this](const HMatchingEdit::Lists &lists) { apply(lists); }));
}

void HSeriesAndAccessoryMatchingWidget::apply(const HMatchingEdit::Lists &lists)
{
    // An undo of the other kind's edit shows that kind first.
    if (lists.kind != (ui->comboBox->currentIndex() == 0 ? 0 : 1))
        ui->comboBox->setCurrentIndex(lists.kind);
    QJsonArray ar = jsonObjMatching.value(seriesKey()).toArray();
    for (int i = 0; i < lists.rows.size(); ++i) {
        const int row = lists.rows.at(i);
        QJsonObject entry = ar.at(row).toObject();
        entry.insert(kArMatching, lists.matched.at(i));
        ar.replace(row, entry);
    }
    jsonObjMatching.insert(seriesKey(), ar);
    for (int row : lists.rows)
        noteEdit(row);
    refresh();
    updateModified();
    emit statusTextChanged();
}
