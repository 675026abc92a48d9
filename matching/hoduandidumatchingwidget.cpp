#include "hoduandidumatchingwidget.h"
#include "ui_hoduandidumatchingwidget.h"

#include "hdatabase.h"
#include "hdbfind.h"
#include "hfindbar.h"
#include "hlabellist.h"
#include "hmatchingedit.h"
#include "hoduandidudocument.h"
#include "hmatchingload.h"
#include "hmatchingsave.h"
#include "hmessagebox.h"
#include "hsqlstatement.h"
#include "translatestring.h"

#include <QItemSelectionModel>
#include <QLocale>
#include <QUndoStack>
#include <QJsonDocument>
#include <QLabel>
#include <QSqlQuery>
#include <QStringListModel>
#include <QVariant>
#include <QVector>

#include <algorithm>
#include <system_error>

using namespace HOduAndIduDocument;

HOduAndIduMatchingWidget::HOduAndIduMatchingWidget(QWidget *parent)
    : HEditorPage(parent)
    , ui(new Ui::HOduAndIduMatchingWidget)
    , m_undo(new QUndoStack(this))
{
    ui->setupUi(this);

    // The layout moves from `widget` into the editor so that the four columns fill the tab,
    // under the notice shown when loading failed.
    m_notice = HMatchingLoad::installNotice(this, ui->horizontalLayout);

    ui->pushButton_remove->setText(QStringLiteral("-->"));
    ui->pushButton_add->setText(QStringLiteral("<--"));
    ui->pushButton_remove->setToolTip(TranslateString(
        QStringLiteral("Removes the selected indoor series from the current outdoor series")));
    ui->pushButton_add->setToolTip(TranslateString(
        QStringLiteral("Matches the selected indoor series to the current outdoor series")));

    ui->listView_all_idu->setSelectionMode(QAbstractItemView::MultiSelection);
    ui->listView_all_idu->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui->listView_all_odu->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui->listView_match_idu->setEditTriggers(QAbstractItemView::NoEditTriggers);
    HLabelList::keepSelectionOnTypeAhead(ui->listView_all_idu);

    ui->comboBox_idu->hide();
    ui->comboBox_odu->hide();

    for (QAbstractItemView *view : {static_cast<QAbstractItemView *>(ui->listView_all_odu),
                                    static_cast<QAbstractItemView *>(ui->listView_match_idu),
                                    static_cast<QAbstractItemView *>(ui->listView_all_idu)})
        HFindBar::attach(view);
    HFindBar::installShortcut(this);
    connect(HFindBar::of(ui->listView_all_odu), &HFindBar::filtered, this,
            &HEditorPage::statusTextChanged);

    // Undo and redo within the tab, also from the context menu.
    HMatchingEdit::installActions(this, m_undo);

    load();
    // A user who may only read the database sees it, with the same buttons off.
    if (!m_readOnly)
        m_readOnly = !checkWritable({QStringLiteral("__rule_odu_idu_matching")},
                                    {ui->pushButton_add, ui->pushButton_remove});
    ui->pushButton_add->setEnabled(!m_readOnly);
    ui->pushButton_remove->setEnabled(!m_readOnly);

    connect(this, &HOduAndIduMatchingWidget::clickAll_OduList, this,
            &HOduAndIduMatchingWidget::on_listView_all_odu_clicked);
}

void HOduAndIduMatchingWidget::load()
{
    ar_odu = QJsonArray();
    ar_idu = QJsonArray();
    m_stored.clear();
    m_rowsOfOdu.clear();
    m_dirtyOdus.clear();
    m_iduNames.clear();
    m_undo->clear();

    HMatchingLoad load(HDbFind::getDb());
    m_series.load(load); // the lists hold completed series records
    initOduList(load);
    initIduList(load);
    nameIndoorSeries();
    m_series.clear();
    showSeriesLists();
    // Without every stored row the tab cannot tell what the user removed: no edits, no save.
    m_readOnly = load.failed() || HEditorPage::isReadOnly();
    HMatchingLoad::showFailures(m_notice, load.failures());
    ui->pushButton_add->setEnabled(!m_readOnly);
    ui->pushButton_remove->setEnabled(!m_readOnly);
    setModified(false);
    emit statusTextChanged();
}

void HOduAndIduMatchingWidget::discardChanges()
{
    const int row = currentOduRow();
    load();
    if (row >= 0 && row < ar_odu.size())
        ui->listView_all_odu->setCurrentIndex(ui->listView_all_odu->model()->index(row, 0));
}

QString HOduAndIduMatchingWidget::statusText() const
{
    QList<int> rows;
    for (int row = 0; row < ar_odu.size(); ++row)
        rows.append(row);
    if (const HFindBar *find = HFindBar::of(ui->listView_all_odu))
        rows = find->shownRows(rows);
    int pairs = 0;
    for (int row : qAsConst(rows))
        pairs += ar_odu.at(row).toObject().value(kMatched).toArray().size();
    return TranslateString(QStringLiteral("%1 outdoor series, %2 pairs"))
        .arg(QLocale().toString(rows.size()), QLocale().toString(pairs));
}

HOduAndIduMatchingWidget::~HOduAndIduMatchingWidget()
{
    // The snapshot records the matching as it is now, saved or not.
    if (m_closingSnapshot.valid())
        m_closingSnapshot.wait();
    else
        writeSnapshot();
    delete ui;
    ui = nullptr;
}

void HOduAndIduMatchingWidget::beginClosing()
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

bool HOduAndIduMatchingWidget::writeSnapshot(QString *error) const
{
    // By series and indoor series: the order the database gives its rows in does not matter.
    auto byId = [](const QJsonObject &record) {
        return HMatchingSave::SortKey(record.value(kIdSeries).toInt(), QString());
    };
    QJsonArray entries;
    for (const QJsonValue &value : ar_odu) {
        QJsonObject entry = value.toObject();
        entry.insert(kMatched, HMatchingSave::sorted(entry.value(kMatched).toArray(), byId));
        entries.append(entry);
    }
    entries = HMatchingSave::sorted(
        entries, [&byId](const QJsonObject &entry) { return byId(entry.value(kOdu).toObject()); });
    return HMatchingSave::writeSnapshot(QJsonDocument(entries), QStringLiteral("odu_and_idu.json"),
                                        error);
}

void HOduAndIduMatchingWidget::initOduList(HMatchingLoad &load)
{
    QList<int> oduIds;
    load.read(QStringLiteral("__product_series"),
              QStringLiteral("select [id_series] from __product_series where [product_type] = 0 "
                             "order by [product_series],[odu_type]"),
              [&oduIds](const QSqlQuery &query) { oduIds.append(query.value(0).toInt()); });

    // One read of the whole table, grouped by outdoor series in the order the rows come.
    QHash<int, QVector<int>> stored;
    load.read(kMatchingTable,
              QStringLiteral("select [id_series_odu],[id_series_idu] from %1").arg(kMatchingTable),
              [&stored](const QSqlQuery &query) {
                  stored[query.value(0).toInt()].append(query.value(1).toInt());
              });

    for (int oduId : qAsConst(oduIds)) {
        QJsonArray matches;
        // A series listed twice holds its pairs once.
        const QVector<int> idus = stored.take(oduId);
        QHash<int, int> &pairs = m_stored[oduId];
        for (int iduId : idus) {
            matches.append(m_series.record(iduId));
            ++pairs[iduId];
        }
        m_rowsOfOdu[oduId].append(ar_odu.size());
        ar_odu.append(QJsonObject{{kOdu, m_series.record(oduId)}, {kMatched, matches}});
    }
}

void HOduAndIduMatchingWidget::initIduList(HMatchingLoad &load)
{
    load.read(
        QStringLiteral("__product_series"),
        QStringLiteral("select [id_series] from __product_series where [product_type] = 1 "
                       "or product_type = 11  order by [product_series],[sub_catalog]"),
        [this](const QSqlQuery &query) { ar_idu.append(m_series.record(query.value(0).toInt())); });
}

void HOduAndIduMatchingWidget::nameIndoorSeries()
{
    for (const QJsonValue &value : qAsConst(ar_idu)) {
        const QJsonObject record = value.toObject();
        if (record.contains(QStringLiteral("product_series")))
            m_iduNames.insert(record.value(kIdSeries).toInt(), iduLabel(record));
    }
    // Matched series of other product types are named as the middle list names them.
    for (const QJsonValue &entry : qAsConst(ar_odu)) {
        const QJsonArray matches = entry.toObject().value(kMatched).toArray();
        for (const QJsonValue &value : matches) {
            const QJsonObject record = value.toObject();
            const int id = record.value(kIdSeries).toInt();
            if (!m_iduNames.contains(id) && record.contains(QStringLiteral("product_series")))
                m_iduNames.insert(id, iduLabel(record));
        }
    }
}

QString HOduAndIduMatchingWidget::oduLabel(const QJsonObject &record)
{
    return QStringLiteral("%1-%2-%3")
        .arg(record.value(QStringLiteral("product_series")).toString(),
             record.value(QStringLiteral("odu_type")).toString(),
             record.value(QStringLiteral("category")).toString());
}

QString HOduAndIduMatchingWidget::iduLabel(const QJsonObject &record)
{
    return QStringLiteral("%1-%2-%3")
        .arg(record.value(QStringLiteral("product_series")).toString(),
             record.value(QStringLiteral("sub_catalog")).toString(),
             record.value(QStringLiteral("category")).toString());
}

namespace {

// What tells two series with the same label apart: their id.
QList<QStringList> seriesIds(const QList<QJsonObject> &records)
{
    QList<QStringList> ids;
    for (const QJsonObject &record : records)
        ids.append({QStringLiteral("#%1").arg(record.value(kIdSeries).toInt())});
    return ids;
}

} // namespace

void HOduAndIduMatchingWidget::showSeriesLists()
{
    QStringList odus;
    QList<QJsonObject> records;
    for (const QJsonValue &value : qAsConst(ar_odu)) {
        records.append(value.toObject().value(kOdu).toObject());
        odus.append(oduLabel(records.last()));
    }
    HLabelList::install(ui->listView_all_odu, HLabelList::distinct(odus, seriesIds(records)));
    HLabelList::onCurrentChanged(ui->listView_all_odu, this,
                                 [this](const QModelIndex &) { showMatches(); });
    if (!ar_odu.isEmpty()) {
        const QModelIndex first = ui->listView_all_odu->model()->index(0, 0);
        ui->listView_all_odu->setCurrentIndex(first);
        on_listView_all_odu_clicked(first);
    } else {
        HLabelList::install(ui->listView_match_idu, {});
    }

    QStringList idus;
    records.clear();
    for (const QJsonValue &value : qAsConst(ar_idu)) {
        records.append(value.toObject());
        idus.append(iduLabel(records.last()));
    }
    HLabelList::install(ui->listView_all_idu, HLabelList::distinct(idus, seriesIds(records)));
}

int HOduAndIduMatchingWidget::currentOduRow() const
{
    const QModelIndex current = ui->listView_all_odu->currentIndex();
    return current.isValid() && current.row() < ar_odu.size() ? current.row() : -1;
}

void HOduAndIduMatchingWidget::showMatches()
{
    on_listView_all_odu_clicked(ui->listView_all_odu->currentIndex());
}

void HOduAndIduMatchingWidget::on_listView_all_odu_clicked(QModelIndex index)
{
    QStringList labels;
    if (index.isValid() && index.row() < ar_odu.size()) {
        const QJsonArray matches = ar_odu.at(index.row()).toObject().value(kMatched).toArray();
        QList<QJsonObject> records;
        for (const QJsonValue &match : matches) {
            records.append(match.toObject());
            labels.append(iduLabel(records.last()));
        }
        labels = HLabelList::distinct(labels, seriesIds(records));
    }
    HLabelList::install(ui->listView_match_idu, labels);
}

void HOduAndIduMatchingWidget::on_listView_all_idu_clicked(QModelIndex index)
{
    // A click leaves at most the clicked row selected; only dragging selects several.
    QAbstractItemModel *model = ui->listView_all_idu->model();
    QItemSelectionModel *selection = ui->listView_all_idu->selectionModel();
    if (!model || !selection)
        return;
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex rowIndex = model->index(row, 0);
        if (!selection->isSelected(rowIndex))
            continue;
        if (row == index.row())
            selection->select(rowIndex, QItemSelectionModel::Select);
        else
            selection->select(rowIndex, QItemSelectionModel::Deselect);
    }
}

void HOduAndIduMatchingWidget::on_listView_all_idu_doubleClicked(QModelIndex index)
{
    if (index.isValid())
        addIdus({index.row()});
}

void HOduAndIduMatchingWidget::on_pushButton_add_clicked()
{
    addIdus(HLabelList::chosenRows(ui->listView_all_idu));
}

void HOduAndIduMatchingWidget::addIdus(const QList<int> &iduRows)
{
    if (m_readOnly)
        return;
    const int oduRow = currentOduRow();
    QJsonArray matches;
    if (oduRow >= 0)
        matches = ar_odu.at(oduRow).toObject().value(kMatched).toArray();
    bool added = false;
    for (int iduRow : iduRows) {
        if (oduRow < 0) {
            HMessageBox::information(this, TranslateString(QStringLiteral("Infomation")),
                                     TranslateString(QStringLiteral("Please select ODU series.")));
            continue;
        }
        if (iduRow < 0 || iduRow >= ar_idu.size())
            continue;
        const QJsonObject idu = ar_idu.at(iduRow).toObject();
        const int iduId = idu.value(kIdSeries).toInt();
        const bool present =
            std::any_of(matches.begin(), matches.end(), [iduId](const QJsonValue &match) {
                return match.toObject().value(kIdSeries).toInt() == iduId;
            });
        if (present) {
            HMessageBox::information(this, TranslateString(QStringLiteral("Infomation")),
                                     TranslateString(QStringLiteral("It already exists.")));
            continue;
        }
        matches.append(idu);
        added = true;
    }
    if (added)
        edit(TranslateString(QStringLiteral("Add indoor series")), oduRow, matches);
}

void HOduAndIduMatchingWidget::on_listView_match_idu_doubleClicked(QModelIndex index)
{
    if (index.isValid())
        removeMatches({index.row()});
}

void HOduAndIduMatchingWidget::on_pushButton_remove_clicked()
{
    removeMatches(HLabelList::chosenRows(ui->listView_match_idu));
}

void HOduAndIduMatchingWidget::removeMatches(const QList<int> &matchRows)
{
    if (m_readOnly)
        return;
    const int oduRow = currentOduRow();
    if (oduRow < 0)
        return;
    // The middle list shows the current outdoor series: its rows are the rows of its matches.
    const QJsonArray matches = ar_odu.at(oduRow).toObject().value(kMatched).toArray();
    QJsonArray kept;
    for (int i = 0; i < matches.size(); ++i) {
        if (!matchRows.contains(i))
            kept.append(matches.at(i));
    }
    if (kept.size() != matches.size())
        edit(TranslateString(QStringLiteral("Remove indoor series")), oduRow, kept);
}

void HOduAndIduMatchingWidget::edit(const QString &text, int oduRow, const QJsonArray &matches)
{
    HMatchingEdit::Lists before{
        0, {oduRow}, {ar_odu.at(oduRow).toObject().value(kMatched).toArray()}};
    HMatchingEdit::Lists after{0, {oduRow}, {matches}};
    m_undo->push(new HMatchingEdit(text, before, after,
                                   [this](const HMatchingEdit::Lists &lists) { apply(lists); }));
}

void HOduAndIduMatchingWidget::apply(const HMatchingEdit::Lists &lists)
{
    for (int i = 0; i < lists.rows.size(); ++i) {
        const int row = lists.rows.at(i);
        QJsonObject entry = ar_odu.at(row).toObject();
        entry.insert(kMatched, lists.matched.at(i));
        ar_odu.replace(row, entry);
        m_dirtyOdus.insert(oduIdAt(row));
    }
    // The edited series becomes current, so that an undo shows what it changed.
    const int row = lists.rows.value(0, -1);
    if (row >= 0 && row != currentOduRow() && !ui->listView_all_odu->isRowHidden(row))
        ui->listView_all_odu->setCurrentIndex(ui->listView_all_odu->model()->index(row, 0));
    emit clickAll_OduList(ui->listView_all_odu->currentIndex());
    updateModified();
    emit statusTextChanged();
}

void HOduAndIduMatchingWidget::updateModified()
{
    const bool modified = !pendingChanges().isEmpty();
    if (!modified)
        m_dirtyOdus.clear();
    setModified(modified);
}

int HOduAndIduMatchingWidget::oduIdAt(int row) const
{
    return ar_odu.at(row).toObject().value(kOdu).toObject().value(kIdSeries).toInt();
}
