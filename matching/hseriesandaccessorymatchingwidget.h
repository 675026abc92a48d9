#pragma once

#include "hseriesaccessorydocument.h"
#include "hserieslookup.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QModelIndex>
#include <QWidget>

namespace Ui {
class HSeriesAndAccessoryMatchingWidget;
}

class QAbstractItemView;

// Which accessories go with each outdoor series (__rule_odu_acc_matching) and each indoor
// series (__rule_unit_acc_controller_matching). The combo box chooses the kind of series;
// additions and removals apply to every selected series. Edits stay in memory until save().
class HSeriesAndAccessoryMatchingWidget : public QWidget
{
    Q_OBJECT

public:
    explicit HSeriesAndAccessoryMatchingWidget(QWidget *parent = nullptr);
    ~HSeriesAndAccessoryMatchingWidget() override;

    // Writes log/series_and_acc.json with the document as it is now, saved or not; the
    // destructor writes it too. False with the file and the cause in *error.
    bool writeSnapshot(QString *error = nullptr) const;

signals:
    void clickAll_SeriesList(const QModelIndex &index);

public slots:
    void saveIDUAndAccController();
    void saveODUAndBranch();
    void save();

private slots:
    void on_comboBox_currentIndexChanged(int index);
    void on_listView_all_series_clicked(const QModelIndex &index);
    void on_pushButton_add_clicked();
    void on_pushButton_remove_clicked();
    void on_listView_all_accessory_doubleClicked(const QModelIndex &index);
    void add_acc_to_series(QJsonArray &ar, const QModelIndex &index, int currentindex);
    void remove_acc_from_series(QJsonArray &ar, const QModelIndex &index,
                                const QModelIndex &idxAtSeriesList);
    void remove_acc_from_listView(const QModelIndex &index);
    void on_listView_match_doubleClicked(const QModelIndex &index);
    void on_listView_all_accessory_clicked(const QModelIndex &index);

private:
    void initSeriesList();
    bool getSeriesInfo(int id_series, QJsonObject &info);
    void initIDUAccessoryList();
    void initODUAccessoryList();
    void initMatching();
    QJsonObject findAccessory(const QString &product_code);

    // The keys of the kind the combo box shows.
    QString seriesKey() const;
    QString accessoryKey() const;
    void refresh();
    void initAccessoryList(int productType, bool forOdu);
    // Rewrite one table; false with the database's error text.
    bool writeIduMatching(QString *error);
    bool writeOduMatching(QString *error);
    void warn(const QStringList &errors);

    static QString seriesLabel(const QJsonObject &record);
    static QList<int> selectedRows(QAbstractItemView *view);

    Ui::HSeriesAndAccessoryMatchingWidget *ui = nullptr;
    QJsonObject jsonObjMatching;
    QJsonObject jsonObjAccessory;
    // Lookups used while loading only; emptied at the end of the constructor.
    HSeriesLookup m_series;
    HSeriesAccessoryDocument::AccessoryIndex m_accessories;
};
