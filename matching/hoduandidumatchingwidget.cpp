#include "hoduandidumatchingwidget.h"
#include "ui_hoduandidumatchingwidget.h"

#include "hdatabase.h"
#include "hdbfind.h"
#include "hlabellist.h"
#include "hmatchingsave.h"
#include "hmessagebox.h"
#include "translatestring.h"

#include <QDebug>
#include <QItemSelectionModel>
#include <QJsonDocument>
#include <QSqlQuery>
#include <QStringListModel>
#include <QVariant>

namespace {

const QString kMatchingTable = QStringLiteral("__rule_odu_idu_matching");
const QString kOdu = QStringLiteral("odu");
const QString kMatched = QStringLiteral("match_to_ar_idu");
const QString kIdSeries = QStringLiteral("id_series");

} // namespace

HOduAndIduMatchingWidget::HOduAndIduMatchingWidget(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::HOduAndIduMatchingWidget)
{
    ui->setupUi(this);

    // The layout moves from `widget` to the editor so that the four columns fill the tab.
    setLayout(ui->horizontalLayout);

    ui->pushButton_remove->setText(QStringLiteral("-->"));
    ui->pushButton_add->setText(QStringLiteral("<--"));

    ui->listView_all_idu->setSelectionMode(QAbstractItemView::MultiSelection);
    ui->listView_all_idu->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui->listView_all_odu->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui->listView_match_idu->setEditTriggers(QAbstractItemView::NoEditTriggers);

    ui->comboBox_idu->hide();
    ui->comboBox_odu->hide();

    initOduList();
    initIduList();
    m_series.load(HDbFind::getDb());
    fillSeriesInfo();
    m_series.clear();
    showSeriesLists();

    connect(this, &HOduAndIduMatchingWidget::clickAll_OduList, this,
            &HOduAndIduMatchingWidget::on_listView_all_odu_clicked);
}

HOduAndIduMatchingWidget::~HOduAndIduMatchingWidget()
{
    delete ui;
    ui = nullptr;

    // The snapshot records the matching as it is now, saved or not.
    writeSnapshot();
}

bool HOduAndIduMatchingWidget::writeSnapshot(QString *error) const
{
    return HMatchingSave::writeSnapshot(QJsonDocument(ar_odu), QStringLiteral("odu_and_idu.json"),
                                        error);
}

void HOduAndIduMatchingWidget::initOduList()
{
    HDatabase *db = HDbFind::getDb();
    QList<int> oduIds;
    QSqlQuery odus = db->query(
        QStringLiteral("select [id_series] from __product_series where [product_type] = 0 order by "
                       "[product_series],[odu_type]"));
    while (odus.next())
        oduIds.append(odus.value(QStringLiteral("id_series")).toInt());

    // One prepared statement serves every outdoor series; without an ordering clause the
    // matched series come in the order the database returns them.
    QSqlQuery matched(db->getSqlDatabase());
    matched.setForwardOnly(true);
    const bool prepared = matched.prepare(QStringLiteral(
        "select [id_series_idu] from __rule_odu_idu_matching where [id_series_odu] = ?"));
    for (int oduId : qAsConst(oduIds)) {
        QJsonArray matches;
        if (prepared) {
            matched.bindValue(0, oduId);
            if (matched.exec()) {
                while (matched.next()) {
                    matches.append(QJsonObject{
                        {kIdSeries, matched.value(QStringLiteral("id_series_idu")).toInt()}});
                }
            }
            matched.finish();
        }
        ar_odu.append(QJsonObject{{kOdu, QJsonObject{{kIdSeries, oduId}}}, {kMatched, matches}});
    }
}

void HOduAndIduMatchingWidget::initIduList()
{
    QSqlQuery idus = HDbFind::getDb()->query(
        QStringLiteral("select [id_series] from __product_series where [product_type] = 1 or "
                       "product_type = 11  order by [product_series],[sub_catalog]"));
    while (idus.next())
        ar_idu.append(QJsonObject{{kIdSeries, idus.value(QStringLiteral("id_series")).toInt()}});
}

bool HOduAndIduMatchingWidget::getSeriesInfo(int id_series, QJsonObject &info)
{
    return m_series.complete(id_series, info, false);
}

void HOduAndIduMatchingWidget::fillSeriesInfo()
{
    // The arrays are rebuilt by appending rather than by replacing element after element:
    // same content, without rewriting a large array once per series.
    QJsonArray odus;
    for (const QJsonValue &value : qAsConst(ar_odu)) {
        QJsonObject entry = value.toObject();
        QJsonObject odu = entry.value(kOdu).toObject();
        if (getSeriesInfo(odu.value(kIdSeries).toInt(), odu))
            entry.insert(kOdu, odu);
        QJsonArray matches;
        const QJsonArray stored = entry.value(kMatched).toArray();
        for (const QJsonValue &match : stored) {
            QJsonObject record = match.toObject();
            getSeriesInfo(record.value(kIdSeries).toInt(), record);
            matches.append(record);
        }
        entry.insert(kMatched, matches);
        odus.append(entry);
    }
    ar_odu = odus;

    QJsonArray idus;
    for (const QJsonValue &value : qAsConst(ar_idu)) {
        QJsonObject record = value.toObject();
        getSeriesInfo(record.value(kIdSeries).toInt(), record);
        idus.append(record);
    }
    ar_idu = idus;
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

void HOduAndIduMatchingWidget::showSeriesLists()
{
    QStringList odus;
    for (const QJsonValue &value : qAsConst(ar_odu))
        odus.append(oduLabel(value.toObject().value(kOdu).toObject()));
    HLabelList::install(ui->listView_all_odu, odus);
    if (!ar_odu.isEmpty()) {
        const QModelIndex first = ui->listView_all_odu->model()->index(0, 0);
        ui->listView_all_odu->setCurrentIndex(first);
        on_listView_all_odu_clicked(first);
    }

    QStringList idus;
    for (const QJsonValue &value : qAsConst(ar_idu))
        idus.append(iduLabel(value.toObject()));
    HLabelList::install(ui->listView_all_idu, idus);
}

void HOduAndIduMatchingWidget::on_listView_all_odu_clicked(QModelIndex index)
{
    QStringList labels;
    if (index.isValid() && index.row() < ar_odu.size()) {
        const QJsonArray matches = ar_odu.at(index.row()).toObject().value(kMatched).toArray();
        for (const QJsonValue &match : matches)
            labels.append(iduLabel(match.toObject()));
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
    const QModelIndex current = ui->listView_all_odu->currentIndex();
    if (!current.isValid() || current.row() >= ar_odu.size()) {
        HMessageBox::information(this, TranslateString(QStringLiteral("Infomation")),
                                 TranslateString(QStringLiteral("Please select ODU series.")));
        return;
    }
    if (index.row() < 0 || index.row() >= ar_idu.size())
        return;
    const QJsonObject idu = ar_idu.at(index.row()).toObject();
    const int iduId = idu.value(kIdSeries).toInt();

    QJsonObject entry = ar_odu.at(current.row()).toObject();
    QJsonArray matches = entry.value(kMatched).toArray();
    for (const QJsonValue &match : qAsConst(matches)) {
        if (match.toObject().value(kIdSeries).toInt() == iduId) {
            HMessageBox::information(this, TranslateString(QStringLiteral("Infomation")),
                                     TranslateString(QStringLiteral("It already exists.")));
            return;
        }
    }
    matches.append(idu);
    entry.insert(kMatched, matches);
    ar_odu.replace(current.row(), entry);
    emit clickAll_OduList(ui->listView_all_odu->currentIndex());
}

void HOduAndIduMatchingWidget::on_pushButton_add_clicked()
{
    QAbstractItemModel *model = ui->listView_all_idu->model();
    QItemSelectionModel *selection = ui->listView_all_idu->selectionModel();
    if (!model || !selection)
        return;
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex rowIndex = model->index(row, 0);
        if (selection->isSelected(rowIndex))
            on_listView_all_idu_doubleClicked(rowIndex);
    }
}

void HOduAndIduMatchingWidget::on_listView_match_idu_doubleClicked(QModelIndex index)
{
    const QModelIndex current = ui->listView_all_odu->currentIndex();
    if (!current.isValid() || current.row() >= ar_odu.size())
        return;
    // The row is taken in the current outdoor series, which may differ from the one the
    // middle list still shows when the current row was moved with the keyboard.
    QJsonObject entry = ar_odu.at(current.row()).toObject();
    QJsonArray matches = entry.value(kMatched).toArray();
    if (index.isValid() && index.row() < matches.size())
        matches.removeAt(index.row());
    entry.insert(kMatched, matches);
    ar_odu.replace(current.row(), entry);
    emit clickAll_OduList(ui->listView_all_odu->currentIndex());
}

void HOduAndIduMatchingWidget::on_pushButton_remove_clicked()
{
    on_listView_match_idu_doubleClicked(ui->listView_match_idu->currentIndex());
}

void HOduAndIduMatchingWidget::save()
{
    HDatabase *db = HDbFind::getDb();
    // Pairs whose indoor series has gone from __product_series since loading are dropped;
    // the series are looked up as they are now, with one statement.
    QString error;
    QStringList inserts;
    if (m_series.load(db)) {
        for (const QJsonValue &value : qAsConst(ar_odu)) {
            const QJsonObject entry = value.toObject();
            const int oduId = entry.value(kOdu).toObject().value(kIdSeries).toInt();
            const QJsonArray matches = entry.value(kMatched).toArray();
            for (const QJsonValue &match : matches) {
                const int iduId = match.toObject().value(kIdSeries).toInt();
                QJsonObject found;
                if (!getSeriesInfo(iduId, found))
                    continue;
                inserts.append(QStringLiteral("insert into %1 (id_series_odu,id_series_idu) "
                                              "values(%2,%3)")
                                   .arg(kMatchingTable)
                                   .arg(oduId)
                                   .arg(iduId));
            }
        }
        m_series.clear();
        if (HMatchingSave::rewriteTable(db, kMatchingTable, inserts, true, &error))
            return;
    } else {
        // Without the series rows every pair would look stale: better keep the table.
        error = m_series.errorString();
    }
    HMessageBox::warning(this, TranslateString(QStringLiteral("Warning")), error);
}
