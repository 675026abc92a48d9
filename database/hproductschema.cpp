#include "hproductschema.h"

#include "hdatabase.h"

#include <QFile>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

// The schema scripts are compiled into this static library; make sure they are registered
// whatever the linker kept.
static void initSchemaResources()
{
    Q_INIT_RESOURCE(schema);
}

namespace {

QString readResource(const QString &path)
{
    static const bool registered = (initSchemaResources(), true);
    Q_UNUSED(registered)
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

bool runScript(QSqlDatabase db, const QStringList &statements, QString *error)
{
    if (!db.transaction()) {
        if (error)
            *error = db.lastError().text();
        return false;
    }
    QSqlQuery query(db);
    const HDatabase::Backend backend = db.driverName() == QLatin1String("QPSQL")
                                           ? HDatabase::Backend::PostgreSql
                                           : HDatabase::Backend::Sqlite;
    for (const QString &statement : statements) {
        if (!query.exec(HDatabase::dialectSql(statement, backend))) {
            if (error)
                *error = query.lastError().text() + QStringLiteral(" (") + statement +
                         QStringLiteral(")");
            db.rollback();
            return false;
        }
    }
    if (!db.commit()) {
        if (error)
            *error = db.lastError().text();
        return false;
    }
    return true;
}

// Tables and the columns the editors read or write.
const QVector<QPair<QString, QStringList>> &requiredColumns()
{
    static const QVector<QPair<QString, QStringList>> required = [] {
        QVector<QPair<QString, QStringList>> list = {
            {QStringLiteral("__product_series"),
             {QStringLiteral("ID"), QStringLiteral("id_series"), QStringLiteral("product_type"),
              QStringLiteral("product_series"), QStringLiteral("category"),
              QStringLiteral("sub_catalog"), QStringLiteral("odu_type"),
              QStringLiteral("table_name"), QStringLiteral("model_string"),
              QStringLiteral("is_not_for_sale"), QStringLiteral("is_user_skip"),
              QStringLiteral("rule_pipe_dimmension"), QStringLiteral("rule_centralized_control"),
              QStringLiteral("rule_limit"), QStringLiteral("rule_add_refri_charge"),
              QStringLiteral("rule_connect_ratio")}},
            {QStringLiteral("__product_idx"),
             {QStringLiteral("product_code"), QStringLiteral("id_series"),
              QStringLiteral("product_type"), QStringLiteral("model"), QStringLiteral("base_model"),
              QStringLiteral("is_not_for_sale"), QStringLiteral("is_user_skip")}},
            {QStringLiteral("__rule_odu_idu_matching"),
             {QStringLiteral("id_series_odu"), QStringLiteral("id_series_idu")}},
            {QStringLiteral("__rule_odu_acc_matching"),
             {QStringLiteral("id_series_odu"), QStringLiteral("product_code_acc"),
              QStringLiteral("type")}},
            {QStringLiteral("__rule_unit_acc_controller_matching"),
             {QStringLiteral("id_series"), QStringLiteral("product_code")}},
        };
        for (const HProductSchema::RuleTable &rule : HProductSchema::ruleTables())
            list.append({rule.table, {QStringLiteral("rule_name")}});
        return list;
    }();
    return required;
}

} // namespace

const QVector<HProductSchema::RuleTable> &HProductSchema::ruleTables()
{
    static const QVector<RuleTable> tables = {
        {QStringLiteral("__rule_connect_ratio"), QStringLiteral("ConnectRatio"),
         QStringLiteral("rule_connect_ratio")},
        {QStringLiteral("__rule_unit_type"), QStringLiteral("UnitType"), QString()},
        {QStringLiteral("__rule_centralized_control"), QStringLiteral("CentralizedController"),
         QStringLiteral("rule_centralized_control")},
        {QStringLiteral("__rule_unit_capacity_conversion"),
         QStringLiteral("UnitCapacityConversion"), QString()},
        {QStringLiteral("__rule_altitude"), QStringLiteral("Altitude"), QString()},
        {QStringLiteral("__rule_additional_charge"), QStringLiteral("AdditionalCharge"),
         QStringLiteral("rule_add_refri_charge")},
        {QStringLiteral("__rule_equivalent_pipe_length"), QStringLiteral("EquivalentPipeLength"),
         QString()},
        {QStringLiteral("__rule_limit"), QStringLiteral("Limit"), QStringLiteral("rule_limit")},
        {QStringLiteral("__rule_pipe_dimension"), QStringLiteral("PipeDimension"),
         QStringLiteral("rule_pipe_dimmension")},
    };
    return tables;
}

QStringList HProductSchema::statements(const QString &script)
{
    QStringList result;
    QString current;
    const QStringList lines = script.split(QLatin1Char('\n'));
    for (const QString &rawLine : lines) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1String("--")))
            continue;
        current += line + QLatin1Char('\n');
        if (line.endsWith(QLatin1Char(';'))) {
            current.chop(2); // ";\n"
            result.append(current);
            current.clear();
        }
    }
    if (!current.trimmed().isEmpty())
        result.append(current.trimmed());
    return result;
}

namespace {

bool isPostgreSql(const QSqlDatabase &db)
{
    return db.driverName() == QLatin1String("QPSQL");
}

} // namespace

QString HProductSchema::script(const QString &backend)
{
    return readResource(backend == QLatin1String("postgresql")
                            ? QStringLiteral(":/schema/product_schema_postgresql.sql")
                            : QStringLiteral(":/schema/product_schema.sql"));
}

bool HProductSchema::create(QSqlDatabase db, QString *error)
{
    return runScript(db,
                     statements(script(isPostgreSql(db) ? QStringLiteral("postgresql")
                                                        : QStringLiteral("sqlite"))),
                     error);
}

QStringList HProductSchema::detailTableStatements(const QString &backend, const QString &name)
{
    // A table name is an identifier, not a value: refuse what cannot stand in brackets.
    if (name.isEmpty() || name.contains(QLatin1Char(']')) || name.contains(QLatin1Char('[')) ||
        name.contains(QLatin1Char('"')))
        return {};
    const QString text = readResource(backend == QLatin1String("postgresql")
                                          ? QStringLiteral(":/schema/detail_table_postgresql.sql")
                                          : QStringLiteral(":/schema/detail_table.sql"));
    QStringList list = statements(text);
    for (QString &statement : list)
        statement = statement.arg(name);
    return list;
}

bool HProductSchema::createDetailTable(QSqlDatabase db, const QString &name, QString *error)
{
    const QStringList list = detailTableStatements(
        isPostgreSql(db) ? QStringLiteral("postgresql") : QStringLiteral("sqlite"), name);
    if (list.isEmpty()) {
        if (error)
            *error = QStringLiteral("Invalid detail table name: %1").arg(name);
        return false;
    }
    return runScript(db, list, error);
}

QStringList HProductSchema::missing(QSqlDatabase db)
{
    QStringList result;
    QHash<QString, QString> tablesByLowerName;
    const QStringList tables = db.tables(QSql::Tables);
    for (const QString &table : tables)
        tablesByLowerName.insert(table.toLower(), table);

    for (const auto &entry : requiredColumns()) {
        const QString actual = tablesByLowerName.value(entry.first.toLower());
        if (actual.isEmpty()) {
            result.append(entry.first);
            continue;
        }
        const QSqlRecord record = db.record(actual);
        for (const QString &column : entry.second) {
            bool found = false;
            for (int i = 0; i < record.count() && !found; ++i)
                found = record.fieldName(i).compare(column, Qt::CaseInsensitive) == 0;
            if (!found)
                result.append(entry.first + QLatin1Char('.') + column);
        }
    }
    return result;
}
