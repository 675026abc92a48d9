#include "demodatabase.h"

#include "hjsonfunc.h"
#include "hproductschema.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>
#include <QVector>

namespace DemoDatabase {

namespace {

struct Series
{
    int id = 0;
    int productType = 0;
    QString name;
    QString category;
    QString subCatalog;
    QString oduType;
    QString tableName;
    QString modelString;
    bool notForSale = false;
    bool userSkip = false;
    QStringList rules; // pipe, centralized, limit, charge, ratio
};

struct Model
{
    QString productCode;
    int seriesId = 0;
    int productType = 0;
    QString model;
    QString baseModel;
    int kind = -1; // accessory kind in the detail table; -1: no detail row
    double capacity = 0;
    bool notForSale = false;
    bool userSkip = false;
};

struct Range
{
    QVector<Series> series;
    QVector<Model> models;
    QVector<QPair<int, int>> oduIdu;
    QVector<QPair<int, QString>> oduAccessories; // series, product code
    QVector<QPair<int, QString>> iduAccessories;
    QVector<QPair<QString, QStringList>> ruleRows; // table, rule names
    // Series whose detail table is deliberately absent (a dangling table_name).
    QStringList missingDetailTables;
};

QString kindName(int kind)
{
    switch (kind) {
    case 2: return QStringLiteral("BRANCH");
    case 3: return QStringLiteral("MP4");
    case 31: return QStringLiteral("BRANCH_HEADER");
    case 4: return QStringLiteral("MS");
    case 5: return QStringLiteral("AHUBOX");
    case 7: return QStringLiteral("AHUMP2");
    default: return QString();
    }
}

// Empty texts are stored as '' (the columns are NOT NULL), never as NULL.
QString text(const QString &value)
{
    return value.isNull() ? QStringLiteral("") : value;
}

bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

bool writeDatabase(const QString &dbPath, const Range &range, QString *error)
{
    QDir().mkpath(QFileInfo(dbPath).absolutePath());
    if (QFile::exists(dbPath) && !QFile::remove(dbPath))
        return fail(error, QStringLiteral("Cannot replace %1").arg(dbPath));

    const QString connection = QStringLiteral("gendb_") + QUuid::createUuid().toString();
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(dbPath);
        if (!db.open())
            return fail(error, db.lastError().text());
        ok = HProductSchema::create(db, error);

        // Detail tables first (each in its own small transaction), then the rows.
        QStringList tables;
        for (const Series &series : range.series) {
            if (!series.tableName.isEmpty() && !range.missingDetailTables.contains(series.tableName)
                && !tables.contains(series.tableName))
                tables.append(series.tableName);
        }
        for (const QString &table : tables) {
            if (ok)
                ok = HProductSchema::createDetailTable(db, table, error);
        }

        QSqlQuery query(db);
        auto check = [&](bool result) {
            if (!result && ok) {
                ok = false;
                if (error)
                    *error = query.lastError().text();
            }
            return result;
        };
        if (ok)
            ok = db.transaction();
        if (ok) {
            query.prepare(QStringLiteral(
                "insert into __product_series (id_series, product_type, product_series, category, "
                "sub_catalog, odu_type, table_name, model_string, is_not_for_sale, is_user_skip, "
                "rule_pipe_dimmension, rule_centralized_control, rule_limit, rule_add_refri_charge, "
                "rule_connect_ratio) values (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"));
            for (const Series &s : range.series) {
                if (!ok)
                    break;
                const QVariantList values = {s.id, s.productType, text(s.name), text(s.category),
                                             text(s.subCatalog), text(s.oduType),
                                             text(s.tableName), text(s.modelString),
                                             s.notForSale ? 1 : 0, s.userSkip ? 1 : 0};
                for (int i = 0; i < values.size(); ++i)
                    query.bindValue(i, values.at(i));
                for (int i = 0; i < 5; ++i)
                    query.bindValue(10 + i, i < s.rules.size() && !s.rules.at(i).isNull()
                                                ? QVariant(s.rules.at(i))
                                                : QVariant(QVariant::String));
                check(query.exec());
            }
            query.prepare(QStringLiteral(
                "insert into __product_idx (product_code, id_series, product_type, model, "
                "base_model, capacity_kw, is_not_for_sale, is_user_skip) values (?,?,?,?,?,?,?,?)"));
            for (const Model &m : range.models) {
                if (!ok)
                    break;
                query.bindValue(0, m.productCode);
                query.bindValue(1, m.seriesId);
                query.bindValue(2, m.productType);
                query.bindValue(3, text(m.model));
                query.bindValue(4, text(m.baseModel));
                query.bindValue(5, m.capacity);
                query.bindValue(6, m.notForSale ? 1 : 0);
                query.bindValue(7, m.userSkip ? 1 : 0);
                check(query.exec());
            }
            // Detail rows: one per model of a series with a detail table.
            QHash<int, QString> tableOf;
            for (const Series &s : range.series)
                tableOf.insert(s.id, s.tableName);
            QHash<QString, QSqlQuery *> inserts;
            QVector<QSqlQuery *> owned;
            for (const Model &m : range.models) {
                const QString table = tableOf.value(m.seriesId);
                if (!ok || table.isEmpty() || range.missingDetailTables.contains(table))
                    continue;
                QSqlQuery *insert = inserts.value(table);
                if (!insert) {
                    insert = new QSqlQuery(db);
                    owned.append(insert);
                    insert->prepare(QStringLiteral("insert into [%1] (model, type, capacity_kw) values (?,?,?)")
                                        .arg(table));
                    inserts.insert(table, insert);
                }
                insert->bindValue(0, m.model);
                insert->bindValue(1, m.kind < 0 ? 0 : m.kind);
                insert->bindValue(2, m.capacity);
                if (!insert->exec() && ok) {
                    ok = false;
                    if (error)
                        *error = insert->lastError().text();
                }
            }
            qDeleteAll(owned);

            query.prepare(QStringLiteral(
                "insert into __rule_odu_idu_matching (id_series_odu, id_series_idu) values (?,?)"));
            for (const auto &pair : range.oduIdu) {
                if (!ok)
                    break;
                query.bindValue(0, pair.first);
                query.bindValue(1, pair.second);
                check(query.exec());
            }
            QHash<QString, int> kindOf;
            for (const Model &m : range.models)
                kindOf.insert(m.productCode, m.kind);
            query.prepare(QStringLiteral("insert into __rule_odu_acc_matching (id_series_odu, "
                                         "product_code_acc, type) values (?,?,?)"));
            for (const auto &pair : range.oduAccessories) {
                if (!ok)
                    break;
                query.bindValue(0, pair.first);
                query.bindValue(1, pair.second);
                query.bindValue(2, kindName(kindOf.value(pair.second, -1)));
                check(query.exec());
            }
            query.prepare(QStringLiteral("insert into __rule_unit_acc_controller_matching "
                                         "(id_series, product_code) values (?,?)"));
            for (const auto &pair : range.iduAccessories) {
                if (!ok)
                    break;
                query.bindValue(0, pair.first);
                query.bindValue(1, pair.second);
                check(query.exec());
            }
            for (const auto &rule : range.ruleRows) {
                if (!ok)
                    break;
                query.prepare(QStringLiteral("insert into %1 (rule_name) values (?)").arg(rule.first));
                for (const QString &name : rule.second) {
                    query.bindValue(0, name);
                    if (!check(query.exec()))
                        break;
                }
            }
            if (ok)
                ok = db.commit();
            else
                db.rollback();
        }
        query = QSqlQuery();
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return ok;
}

bool writeSchemes(const QString &configDir, const Range &range, int schemes, QString *error)
{
    if (configDir.isEmpty() || schemes <= 0)
        return true;
    const QStringList brands = {QStringLiteral("BrandA"), QStringLiteral("BrandB"),
                                QStringLiteral("BrandC"), QStringLiteral("BrandD")};
    QStringList indoorSubCatalogs;
    for (const Series &s : range.series) {
        if (s.productType == 1 && !s.subCatalog.isEmpty() && !indoorSubCatalogs.contains(s.subCatalog))
            indoorSubCatalogs.append(s.subCatalog);
    }
    for (int b = 0; b < schemes && b < brands.size(); ++b) {
        QJsonArray seriesTable;
        for (int i = 0; i < range.series.size(); ++i) {
            const Series &s = range.series.at(i);
            QJsonObject record{{QStringLiteral("id_series"), s.id},
                               {QStringLiteral("category"), s.category},
                               {QStringLiteral("sub_catalog"), s.subCatalog},
                               {QStringLiteral("product_type"), s.productType},
                               {QStringLiteral("odu_type"), s.oduType},
                               {QStringLiteral("is_not_for_sale"), s.notForSale || (i + b) % 7 == 3},
                               {QStringLiteral("is_user_skip"), s.userSkip || (i + b) % 11 == 5},
                               {QStringLiteral("model_string"),
                                b == 1 && i % 2 == 0 ? QString() : s.modelString}};
            seriesTable.append(record);
        }
        QJsonArray idxTable;
        for (int i = 0; i < range.models.size(); ++i) {
            const Model &m = range.models.at(i);
            const QString oem = i % 3 == b ? QStringLiteral("%1-%2").arg(brands.at(b), m.model) : QString();
            idxTable.append(QJsonObject{{QStringLiteral("id_series"), m.seriesId},
                                        {QStringLiteral("product_code"), m.productCode},
                                        {QStringLiteral("base_model"), m.baseModel},
                                        {QStringLiteral("oem_model"), oem},
                                        {QStringLiteral("is_not_for_sale"), m.notForSale || (i + b) % 13 == 4},
                                        {QStringLiteral("is_user_skip"), m.userSkip}});
        }
        QJsonObject installCodes;
        installCodes.insert(QStringLiteral("%1-INSTALL-%2").arg(brands.at(b)).arg(1001 + b), QString());
        if (b == 0)
            installCodes.insert(QStringLiteral("安装码-07"), QString());
        const QJsonObject scheme{
            {QStringLiteral("series_table"), seriesTable},
            {QStringLiteral("idx_table"), idxTable},
            {QStringLiteral("install_code"), installCodes},
            {QStringLiteral("unit_priority"),
             QJsonObject{{QStringLiteral("idu_generate"),
                          indoorSubCatalogs.isEmpty() ? QString()
                                                      : indoorSubCatalogs.at(b % indoorSubCatalogs.size())}}}};
        const QString path = QDir(configDir).absoluteFilePath(brands.at(b) + QStringLiteral(".json"));
        if (!HJsonFunc::jsonDocToFile(QJsonDocument(scheme), path, QJsonDocument::Indented, error))
            return false;
    }
    return true;
}

QStringList ruleNames(const QString &prefix, int count)
{
    QStringList names;
    for (int i = 0; i < count; ++i)
        names.append(QStringLiteral("%1-%2").arg(prefix).arg(i + 1, 3, 10, QLatin1Char('0')));
    return names;
}

} // namespace

Counts Counts::scaled(double factor)
{
    Counts counts;
    auto scale = [factor](int value) { return qMax(1, static_cast<int>(value * factor + 0.5)); };
    counts.series = qMax(12, scale(counts.series));
    counts.models = scale(counts.models);
    counts.accessories = scale(counts.accessories);
    counts.oduIduPairs = scale(counts.oduIduPairs);
    counts.accessoryMatches = scale(counts.accessoryMatches);
    return counts;
}

bool writeDemo(const QString &dbPath, const QString &configDir, QString *error)
{
    Range r;
    auto series = [&r](int id, int type, const QString &name, const QString &category,
                       const QString &sub, const QString &oduType, const QString &table,
                       const QString &modelString, const QStringList &rules = {}) {
        Series s;
        s.id = id;
        s.productType = type;
        s.name = name;
        s.category = category;
        s.subCatalog = sub;
        s.oduType = oduType;
        s.tableName = table;
        s.modelString = modelString;
        s.rules = rules;
        r.series.append(s);
    };
    // Outdoor series.
    series(101, 0, QStringLiteral("MX5 Pro"), QStringLiteral("VRF"), QStringLiteral("Heat pump"),
           QStringLiteral("Top discharge"), QStringLiteral("dt_mx5_pro"), QStringLiteral("MX5-P"),
           {QStringLiteral("PD-Standard"), QStringLiteral("CC-Basic"), QStringLiteral("LIM-165m"),
            QStringLiteral("AC-R410A"), QStringLiteral("CR-130")});
    series(102, 0, QStringLiteral("MX5 Recovery"), QStringLiteral("VRF"),
           QStringLiteral("Heat recovery"), QStringLiteral("Top discharge"),
           QStringLiteral("dt_mx5_recovery"), QStringLiteral("MX5-R"),
           {QStringLiteral("PD-Standard"), QStringLiteral("CC-Pro"), QStringLiteral("LIM-120m"),
            QString(), QStringLiteral("CR-130")});
    series(103, 0, QStringLiteral("迷你多联 S"), QStringLiteral("多联机"), QStringLiteral("热泵"),
           QStringLiteral("侧出风"), QStringLiteral("dt_mini_s"), QStringLiteral("MS-S"));
    series(104, 0, QStringLiteral("MX5 Compact"), QStringLiteral("Mini VRF"), QString(),
           QStringLiteral("Side discharge"), QStringLiteral("dt_mx5_compact"), QString());
    // Indoor series (type 1) and an HRV series (type 11).
    series(201, 1, QStringLiteral("Cassette 4-way"), QStringLiteral("IDU"), QStringLiteral("Cassette"),
           QString(), QStringLiteral("dt_cassette"), QStringLiteral("CS4"));
    series(202, 1, QStringLiteral("Slim duct"), QStringLiteral("IDU"), QStringLiteral("Duct"),
           QString(), QStringLiteral("dt_duct"), QStringLiteral("DT"));
    series(203, 1, QStringLiteral("壁挂式 E"), QStringLiteral("室内机"), QStringLiteral("壁挂"),
           QString(), QStringLiteral("dt_wall"), QStringLiteral("WE"));
    series(204, 1, QStringLiteral("Floor console"), QStringLiteral("IDU"), QString(), QString(),
           QStringLiteral("dt_floor"), QStringLiteral("FC"));
    series(301, 11, QStringLiteral("Fresh air HRV"), QStringLiteral("HRV"), QStringLiteral("Heat recovery ventilator"),
           QString(), QStringLiteral("dt_hrv"), QStringLiteral("HRV"));
    // Accessory families: branch kits for outdoor series, controllers for indoor series.
    series(401, 2, QStringLiteral("Branch kits"), QStringLiteral("Branch"), QStringLiteral("Refnet"),
           QString(), QStringLiteral("dt_branch"), QStringLiteral("BK"));
    series(501, 10, QStringLiteral("Controllers"), QStringLiteral("Controller"), QStringLiteral("Wired"),
           QString(), QStringLiteral("dt_controller"), QStringLiteral("CTL"));
    series(601, 12, QStringLiteral("Accessories"), QStringLiteral("Accessory"), QStringLiteral("Panel"),
           QString(), QStringLiteral("dt_accessory"), QStringLiteral("ACC"));
    // A series whose detail table was never created: its accessories have no kind.
    series(502, 10, QStringLiteral("Legacy controllers"), QStringLiteral("Controller"),
           QStringLiteral("Legacy"), QString(), QStringLiteral("dt_legacy_missing"), QString());
    r.missingDetailTables.append(QStringLiteral("dt_legacy_missing"));

    auto model = [&r](const QString &code, int seriesId, int type, const QString &name,
                      const QString &base, int kind, double capacity) {
        Model m;
        m.productCode = code;
        m.seriesId = seriesId;
        m.productType = type;
        m.model = name;
        m.baseModel = base;
        m.kind = kind;
        m.capacity = capacity;
        r.models.append(m);
    };
    const double oduCaps[] = {22.4, 28.0, 33.5, 40.0};
    for (int i = 0; i < 4; ++i) {
        const int hp = 8 + 2 * i;
        model(QStringLiteral("0101%1").arg(i, 4, 10, QLatin1Char('0')), 101, 0,
              QStringLiteral("MX5-P%1").arg(hp * 28), QStringLiteral("MX5-P%1").arg(hp * 28), -1, oduCaps[i]);
        model(QStringLiteral("0102%1").arg(i, 4, 10, QLatin1Char('0')), 102, 0,
              QStringLiteral("MX5-R%1").arg(hp * 28), QStringLiteral("MX5-R%1").arg(hp * 28), -1, oduCaps[i]);
    }
    model(QStringLiteral("01030001"), 103, 0, QStringLiteral("MS-S120"), QStringLiteral("MS-S120"), -1, 12.0);
    model(QStringLiteral("01030002"), 103, 0, QStringLiteral("MS-S160"), QStringLiteral("MS-S160"), -1, 16.0);
    model(QStringLiteral("01040001"), 104, 0, QStringLiteral("MX5-C100"), QStringLiteral("MX5-C100"), -1, 10.0);
    const int iduCaps[] = {22, 28, 36, 45, 56, 71};
    for (int i = 0; i < 6; ++i) {
        model(QStringLiteral("0201%1").arg(i, 4, 10, QLatin1Char('0')), 201, 1,
              QStringLiteral("CS4-%1").arg(iduCaps[i]), QStringLiteral("CS4-%1").arg(iduCaps[i]), -1, iduCaps[i] / 10.0);
        model(QStringLiteral("0202%1").arg(i, 4, 10, QLatin1Char('0')), 202, 1,
              QStringLiteral("DT-%1").arg(iduCaps[i]), QStringLiteral("DT-%1").arg(iduCaps[i]), -1, iduCaps[i] / 10.0);
    }
    model(QStringLiteral("02030001"), 203, 1, QStringLiteral("WE-22 壁挂"), QStringLiteral("WE-22"), -1, 2.2);
    model(QStringLiteral("02030002"), 203, 1, QStringLiteral("WE-28 壁挂"), QStringLiteral("WE-28"), -1, 2.8);
    model(QStringLiteral("02040001"), 204, 1, QStringLiteral("FC-36"), QStringLiteral("FC-36"), -1, 3.6);
    model(QStringLiteral("03010001"), 301, 11, QStringLiteral("HRV-500"), QStringLiteral("HRV-500"), -1, 0);
    // Accessories offered to outdoor series: product type 2, kinds 31, 3, 4 (and 2, offered nowhere).
    model(QStringLiteral("04010001"), 401, 2, QStringLiteral("BH-4 header"), QStringLiteral("BH-4"), 31, 0);
    model(QStringLiteral("04010002"), 401, 2, QStringLiteral("MP4-01"), QStringLiteral("MP4-01"), 3, 0);
    model(QStringLiteral("04010003"), 401, 2, QStringLiteral("MS-box 01"), QStringLiteral("MS-01"), 4, 0);
    model(QStringLiteral("04010004"), 401, 2, QStringLiteral("Y-joint 22"), QStringLiteral("YJ-22"), 2, 0);
    // Accessories offered to indoor series: product type 10, kinds below 10.
    model(QStringLiteral("05010001"), 501, 10, QStringLiteral("Wired controller WC-1"), QStringLiteral("WC-1"), 0, 0);
    model(QStringLiteral("05010002"), 501, 10, QStringLiteral("AHU box AB-1"), QStringLiteral("AB-1"), 5, 0);
    model(QStringLiteral("05010003"), 501, 10, QStringLiteral("AHU MP2 AM-2"), QStringLiteral("AM-2"), 7, 0);
    model(QStringLiteral("05010004"), 501, 10, QStringLiteral("Y-branch 线控"), QStringLiteral("YB-1"), 2, 0);
    model(QStringLiteral("05010005"), 501, 10, QStringLiteral("Central controller CC-64"), QStringLiteral("CC-64"), 12, 0);
    model(QStringLiteral("05020001"), 502, 10, QStringLiteral("Legacy remote LR-1"), QStringLiteral("LR-1"), -1, 0);
    model(QStringLiteral("06010001"), 601, 12, QStringLiteral("Decoration panel P-1"), QStringLiteral("P-1"), 0, 0);

    r.oduIdu = {{104, 204}, {104, 203}, {101, 201}, {101, 202}, {101, 203}, {102, 201}, {102, 301}, {103, 203}, {103, 204}};
    r.oduAccessories = {{101, QStringLiteral("04010001")}, {101, QStringLiteral("04010002")},
                        {102, QStringLiteral("04010003")}, {103, QStringLiteral("04010001")}};
    r.iduAccessories = {{201, QStringLiteral("05010001")}, {201, QStringLiteral("05010002")},
                        {202, QStringLiteral("05010001")}, {203, QStringLiteral("05010003")},
                        {204, QStringLiteral("05020001")}};

    r.ruleRows = {
        {QStringLiteral("__rule_connect_ratio"), {QStringLiteral("CR-130"), QStringLiteral("CR-150"), QStringLiteral("CR-200 高配比")}},
        {QStringLiteral("__rule_unit_type"), {QStringLiteral("UT-VRF"), QStringLiteral("UT-Mini")}},
        {QStringLiteral("__rule_centralized_control"), {QStringLiteral("CC-Basic"), QStringLiteral("CC-Pro")}},
        {QStringLiteral("__rule_unit_capacity_conversion"), {QStringLiteral("UCC-Default")}},
        {QStringLiteral("__rule_altitude"), {QStringLiteral("ALT-Standard"), QStringLiteral("ALT-高原")}},
        {QStringLiteral("__rule_additional_charge"), {QStringLiteral("AC-R410A"), QStringLiteral("AC-R32")}},
        {QStringLiteral("__rule_equivalent_pipe_length"), {QStringLiteral("EPL-Default")}},
        {QStringLiteral("__rule_limit"), {QStringLiteral("LIM-165m"), QStringLiteral("LIM-120m")}},
        {QStringLiteral("__rule_pipe_dimension"), {QStringLiteral("PD-Standard"), QStringLiteral("PD-Large")}},
    };
    return writeDatabase(dbPath, r, error) && writeSchemes(configDir, r, 2, error);
}

bool writeLarge(const QString &dbPath, const QString &configDir, const Counts &counts, QString *error)
{
    Range r;
    const int outdoor = counts.series / 3;
    // A tenth of the series carry the accessories: half branch kits, half controllers.
    const int accessorySeries = qMax(2, counts.series / 10);
    const int indoor = qMax(1, counts.series - outdoor - accessorySeries);
    const QStringList oduCategories = {QStringLiteral("VRF"), QStringLiteral("Mini VRF"), QStringLiteral("多联机")};
    const QStringList iduSubs = {QStringLiteral("Cassette"), QStringLiteral("Duct"), QStringLiteral("Wall"),
                                 QStringLiteral("Floor"), QStringLiteral("壁挂"), QStringLiteral("天花")};
    QStringList ruleTables;
    for (const auto &rule : HProductSchema::ruleTables())
        ruleTables.append(rule.table);

    int id = 1000;
    QVector<int> outdoorIds, indoorIds, branchIds, controllerIds;
    for (int i = 0; i < outdoor; ++i) {
        Series s;
        s.id = ++id;
        s.productType = 0;
        s.name = QStringLiteral("ODU-%1").arg(i, 4, 10, QLatin1Char('0'));
        s.category = oduCategories.at(i % oduCategories.size());
        s.subCatalog = i % 2 ? QStringLiteral("Heat pump") : QStringLiteral("Heat recovery");
        s.oduType = i % 3 ? QStringLiteral("Top discharge") : QStringLiteral("侧出风");
        s.tableName = QStringLiteral("dt_s%1").arg(s.id);
        s.modelString = QStringLiteral("MS%1").arg(s.id);
        const int rule = i % counts.ruleRows + 1;
        auto ruleName = [rule](const char *table) {
            return QStringLiteral("%1-%2").arg(QLatin1String(table)).arg(rule, 3, 10, QLatin1Char('0'));
        };
        s.rules = QStringList{ruleName("PipeDimension"), ruleName("CentralizedController"),
                              ruleName("Limit"), ruleName("AdditionalCharge"),
                              ruleName("ConnectRatio")};
        r.series.append(s);
        outdoorIds.append(s.id);
    }
    for (int i = 0; i < indoor; ++i) {
        Series s;
        s.id = ++id;
        s.productType = i % 20 == 19 ? 11 : 1;
        s.name = QStringLiteral("IDU-%1").arg(i, 4, 10, QLatin1Char('0'));
        s.category = QStringLiteral("IDU");
        s.subCatalog = iduSubs.at(i % iduSubs.size());
        s.tableName = QStringLiteral("dt_s%1").arg(s.id);
        s.modelString = QStringLiteral("MS%1").arg(s.id);
        s.notForSale = i % 17 == 0;
        r.series.append(s);
        indoorIds.append(s.id);
    }
    for (int i = 0; i < accessorySeries; ++i) {
        Series s;
        s.id = ++id;
        s.productType = i % 2 ? 10 : 2;
        s.name = QStringLiteral("ACC-%1").arg(i, 4, 10, QLatin1Char('0'));
        s.category = s.productType == 2 ? QStringLiteral("Branch") : QStringLiteral("Controller");
        s.subCatalog = s.productType == 2 ? QStringLiteral("Refnet") : QStringLiteral("Wired");
        s.tableName = QStringLiteral("dt_s%1").arg(s.id);
        r.series.append(s);
        (s.productType == 2 ? branchIds : controllerIds).append(s.id);
    }

    // Accessories: kinds that the editors offer, plus a few that they filter out.
    const int oduKinds[] = {31, 3, 4, 31, 3, 4, 2};
    const int iduKinds[] = {0, 2, 3, 4, 5, 7, 1, 12};
    QVector<QString> oduAccessoryCodes, iduAccessoryCodes;
    for (int i = 0; i < counts.accessories; ++i) {
        Model m;
        const bool forOdu = i % 2 == 0;
        m.seriesId = forOdu ? branchIds.at((i / 2) % branchIds.size())
                            : (controllerIds.isEmpty() ? branchIds.first()
                                                       : controllerIds.at((i / 2) % controllerIds.size()));
        m.productType = forOdu ? 2 : 10;
        m.productCode = QStringLiteral("A%1").arg(i, 7, 10, QLatin1Char('0'));
        m.model = QStringLiteral("ACC-%1").arg(i, 6, 10, QLatin1Char('0'));
        m.baseModel = m.model;
        m.kind = forOdu ? oduKinds[(i / 2) % 7] : iduKinds[(i / 2) % 8];
        r.models.append(m);
        (forOdu ? oduAccessoryCodes : iduAccessoryCodes).append(m.productCode);
    }
    const int units = qMax(0, counts.models - counts.accessories);
    const int unitSeries = outdoor + indoor;
    for (int i = 0; i < units; ++i) {
        const Series &s = r.series.at(i % unitSeries);
        Model m;
        m.seriesId = s.id;
        m.productType = s.productType == 0 ? 0 : 1;
        m.productCode = QStringLiteral("U%1").arg(i, 7, 10, QLatin1Char('0'));
        m.model = QStringLiteral("%1-%2").arg(s.name).arg(22 + (i / unitSeries) * 6);
        m.baseModel = m.model;
        m.capacity = 2.2 + (i / unitSeries) * 0.6;
        m.notForSale = i % 29 == 0;
        m.userSkip = i % 31 == 0;
        r.models.append(m);
    }
    for (int i = 0; i < counts.oduIduPairs && !outdoorIds.isEmpty() && !indoorIds.isEmpty(); ++i)
        r.oduIdu.append({outdoorIds.at(i % outdoorIds.size()),
                         indoorIds.at((i * 7 + i / outdoorIds.size()) % indoorIds.size())});
    for (int i = 0; i < counts.accessoryMatches; ++i) {
        if (i % 2 == 0 && !outdoorIds.isEmpty() && !oduAccessoryCodes.isEmpty())
            r.oduAccessories.append({outdoorIds.at((i / 2) % outdoorIds.size()),
                                     oduAccessoryCodes.at((i / 2 * 13) % oduAccessoryCodes.size())});
        else if (!indoorIds.isEmpty() && !iduAccessoryCodes.isEmpty())
            r.iduAccessories.append({indoorIds.at((i / 2) % indoorIds.size()),
                                     iduAccessoryCodes.at((i / 2 * 11) % iduAccessoryCodes.size())});
    }
    for (const auto &rule : HProductSchema::ruleTables())
        r.ruleRows.append({rule.table, ruleNames(rule.displayName, counts.ruleRows)});
    return writeDatabase(dbPath, r, error) && writeSchemes(configDir, r, counts.schemes, error);
}

} // namespace DemoDatabase
