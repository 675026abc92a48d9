#pragma once

// What the sale status suites share: a small product database, scheme files, and the
// editor with its children and cells.

#include "testhelpers.h"

#include "hdbfind.h"
#include "heditproductsalestatus.h"
#include "hinputnamewidget.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace SaleStatusFixture {

using namespace TestHelpers;

// Series: id, type, category, sub_catalog, odu_type, model_string, not for sale, skip.
inline const QStringList kDatabaseRows = {
    "insert into __product_series (id_series, product_type, category, sub_catalog, odu_type, "
    "model_string, is_not_for_sale, is_user_skip) values "
    "(1, 0, 'VRF', 'Heat pump', 'Top', 'MS-1', 0, 0), (2, 0, 'VRF', '', '', 'MS-2', 1, 0), "
    "(3, 0, 'VRF', 'Cooling', '', 'MS-3', 0, 0), (5, 0, 'Mini', '', 'Side', 'MS-5', 0, 0), "
    "(7, 0, 'Mini', '', '', 'MS-7', 0, 0), (10, 1, 'IDU', 'Duct', 'X', 'MS-10', 0, 1), "
    "(11, 1, 'IDU', 'Cassette', '', '', 0, 0), (20, 10, 'CTRL', 'Wired', '', 'MS-20', 0, 0), "
    "(21, 10, 'CTRL', 'Wireless', '', '', 1, 0), (30, 11, 'HRV', '', '', '', 0, 0)",
    "insert into __product_idx (product_code, id_series, base_model, is_not_for_sale, "
    "is_user_skip) values ('P1A', 1, 'ODU-1A', 0, 0), ('P1B', 1, 'ODU-1B', 1, 0), "
    "('P2A', 2, 'ODU-2A', 0, 0), ('ABC', 10, 'IDU-A', 0, 0), ('XYZ', 10, 'IDU-X', 0, 1), "
    "('Q''1', 10, 'IDU-Q''1', 0, 0), ('P20', 20, 'CTRL-20', 0, 0)",
};

inline QString configPath(const QString &name)
{
    return appFolder("config/") + name;
}
inline QStringList configFiles()
{
    return QDir(appFolder("config")).entryList(QDir::Files, QDir::Name);
}

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

inline void writeScheme(const QString &name, const QJsonObject &scheme)
{
    writeFile(configPath(name), QJsonDocument(scheme).toJson());
}

inline QJsonObject readScheme(const QString &name)
{
    return QJsonDocument::fromJson(fileBytes(configPath(name))).object();
}
inline QJsonArray savedTable(const QString &scheme, const QString &table)
{
    return readScheme(scheme).value(table).toArray();
}

// The given fields of a record joined by "|"; an absent field gives an empty text.
inline QString fields(const QJsonValue &record, const QString &names)
{
    QStringList texts;
    for (const QString &name : names.split(','))
        texts.append(record.toObject().value(name).toVariant().toString());
    return texts.join('|');
}

// One field of every record.
inline QStringList column(const QJsonArray &records, const QString &name)
{
    QStringList texts;
    for (const QJsonValue &record : records)
        texts.append(fields(record, name));
    return texts;
}

// Fields of the first record of a scheme file whose id_series (number) or product_code (text)
// is `key`.
inline QString saved(const QString &scheme, const QJsonValue &key, const QString &names)
{
    const bool model = key.isString();
    for (const QJsonValue &record : savedTable(scheme, model ? "idx_table" : "series_table")) {
        if (record.toObject().value(model ? "product_code" : "id_series") == key)
            return fields(record, names);
    }
    return "no record";
}

inline QJsonObject seriesRecord(int id, bool notForSale, const QString &modelString)
{
    return {{"id_series", id},       {"product_type", 0},
            {"category", "S"},       {"sub_catalog", ""},
            {"odu_type", ""},        {"is_not_for_sale", notForSale},
            {"is_user_skip", false}, {"model_string", modelString}};
}

inline QJsonObject modelRecord(const QString &code, int series, const QString &oem, bool notForSale)
{
    return {{"id_series", series}, {"product_code", code},          {"base_model", "B-" + code},
            {"oem_model", oem},    {"is_not_for_sale", notForSale}, {"is_user_skip", false}};
}

// Answers an HInputNameWidget: types the text and presses OK (or Cancel).
inline ModalAnswerer::Action typeName(const QString &text, bool ok = true)
{
    return [text, ok](QWidget *widget) {
        auto *edit = widget->findChild<QLineEdit *>("lineEdit_name");
        auto *box = widget->findChild<QDialogButtonBox *>("buttonBox");
        if (!edit || !box)
            return qobject_cast<QDialog *>(widget)->reject();
        edit->setText(text);
        box->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
    };
}

inline ModalAnswerer::Action chooseFolder(const QString &folder)
{
    return [folder](QWidget *widget) {
        auto *dialog = qobject_cast<QFileDialog *>(widget);
        if (!dialog)
            return qobject_cast<QDialog *>(widget)->reject();
        dialog->setDirectory(folder);
        dialog->selectFile(folder);
        QMetaObject::invokeMethod(dialog, "accept");
    };
}

// "title: text" of the last message box or dialog seen.
inline QString lastBox(const ModalAnswerer &answerer)
{
    return answerer.seen().last().title + ": " + answerer.seen().last().text;
}

inline QStringList items(QComboBox *combo)
{
    return rowTexts(combo->view());
}
// Keys of the rows that are shown (height > 0), hidden (height 0 required), or checked.
enum class Rows { Shown, Hidden, Checked };
inline QStringList keys(QTableWidget *table, Rows which, int column = 0)
{
    QStringList keys;
    for (int r = 0; r < table->rowCount(); ++r) {
        if (table->isRowHidden(r) && table->rowHeight(r) != 0)
            return {QString("hidden row %1 has a height").arg(r)};
        if (which == Rows::Shown    ? table->rowHeight(r) > 0
            : which == Rows::Hidden ? table->isRowHidden(r)
                                    : table->item(r, column)->checkState() == Qt::Checked)
            keys.append(table->item(r, 0)->text());
    }
    return keys;
}
inline QStringList shown(QTableWidget *table)
{
    return keys(table, Rows::Shown);
}
inline QStringList hidden(QTableWidget *table)
{
    return keys(table, Rows::Hidden);
}

// The kinds of the rows' cells, a word for each different row: t a fixed text, e an editable
// text, c a check box without text, x another check box, ? no item.
inline QString cellKinds(QTableWidget *table)
{
    QStringList rows;
    for (int r = 0; r < table->rowCount(); ++r) {
        QString kinds;
        for (int c = 0; c < table->columnCount(); ++c) {
            const QTableWidgetItem *item = table->item(r, c);
            const bool editable = item && item->flags() & Qt::ItemIsEditable;
            if (!item || !item->data(Qt::CheckStateRole).isValid())
                kinds += !item ? '?' : editable ? 'e' : 't';
            else
                kinds +=
                    item->flags() & Qt::ItemIsUserCheckable && !editable && item->text().isEmpty()
                        ? 'c'
                        : 'x';
        }
        if (!rows.contains(kinds))
            rows.append(kinds);
    }
    return rows.join(' ');
}

// The editor, its children, and the cells of series `id` / model `code`.
struct Editor
{
    Editor()
        : widget(new HEditProductSaleStatus)
    {
        widget->resize(1200, 800);
        widget->show();
    }
    template <typename T> T *find(const char *name) const { return widget->findChild<T *>(name); }
    void click(const char *name) const
    {
        QTest::mouseClick(find<QPushButton>(name), Qt::LeftButton);
    }
    int seriesRow(int id) const { return rowTexts(series).indexOf(QString::number(id)); }
    int modelRow(const QString &code) const { return rowTexts(models).indexOf(code); }
    QTableWidgetItem *s(int id, int column) const { return series->item(seriesRow(id), column); }
    QTableWidgetItem *m(const QString &code, int column) const
    {
        return models->item(modelRow(code), column);
    }
    void setS(int id, int column, bool on) const
    {
        s(id, column)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
    void setM(const QString &code, int column, bool on) const
    {
        m(code, column)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
    void clickSeries(int id) const { clickRow(series, seriesRow(id), 1); }
    QStringList checkedSeries(int column) const { return keys(series, Rows::Checked, column); }
    QStringList checkedModels(int column) const { return keys(models, Rows::Checked, column); }

    std::unique_ptr<HEditProductSaleStatus> widget;
    QComboBox *scheme = find<QComboBox>("comboBox_scheme");
    QComboBox *productType = find<QComboBox>("comboBox_ProductType");
    QComboBox *iduType = find<QComboBox>("comboBox_idu_generate");
    QComboBox *installCode = find<QComboBox>("comboBox_InstallCode");
    QTableWidget *series = find<QTableWidget>("tableWidget_Series");
    QTableWidget *models = find<QTableWidget>("tableWidget_Idx");
    QLineEdit *seriesIds = find<QLineEdit>("lineEdit_series_id_list");
    QLineEdit *modelIds = find<QLineEdit>("lineEdit_idx_id_list");
};

// Each test starts from empty config/ and log/ folders and a fresh database at `*db`.
inline void startClean(const QTemporaryDir &dir, QString *db)
{
    QVERIFY(dir.isValid());
    cleanAppFolders();
    *db = dir.filePath("Product.mdb");
    QString error;
    QVERIFY2(createProductDb(*db, kDatabaseRows, &error), qPrintable(error));
    useProductDb(*db);
}

inline void finishClean()
{
    HDbFind::closeDb();
    cleanAppFolders();
}

} // namespace SaleStatusFixture
