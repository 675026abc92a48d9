#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

class HDatabase;
struct HSaleStatusStored;

// Keys of a sale status scheme file.
namespace SchemeKeys {
inline const QString seriesTable = QStringLiteral("series_table");
inline const QString idxTable = QStringLiteral("idx_table");
inline const QString installCode = QStringLiteral("install_code");
inline const QString unitPriority = QStringLiteral("unit_priority");
inline const QString iduGenerate = QStringLiteral("idu_generate");
inline const QString idSeries = QStringLiteral("id_series");
inline const QString productCode = QStringLiteral("product_code");
inline const QString category = QStringLiteral("category");
inline const QString subCatalog = QStringLiteral("sub_catalog");
inline const QString productType = QStringLiteral("product_type");
inline const QString oduType = QStringLiteral("odu_type");
inline const QString baseModel = QStringLiteral("base_model");
inline const QString oemModel = QStringLiteral("oem_model");
inline const QString modelString = QStringLiteral("model_string");
inline const QString isNotForSale = QStringLiteral("is_not_for_sale");
inline const QString isUserSkip = QStringLiteral("is_user_skip");
} // namespace SchemeKeys

// The brand schemes: "*.json" files in config/ beside the executable. Reads, completes,
// writes, removes and exports them; says what went wrong through errorString(), and leaves
// it to the widget what to show.
class HSaleStatusSchemes
{
public:
    enum class ReadResult { Ok, Missing, Unreadable };

    // The scheme folder, ending with "/".
    static QString schemeFolder();
    // File names of the schemes, sorted by name without regard to case.
    static QStringList listSchemeFiles();
    // The path a scheme is written to: ".json" is added unless the name already ends with
    // it (in any letter case, so that a listed "B.JSON" is written back to itself).
    static QString writePath(const QString &name);
    static QString readPath(const QString &name);

    // Reads a scheme. On failure `scheme` is empty; Unreadable means a file exists that
    // cannot be read, is not a JSON object, or holds a value of the wrong type under a known
    // key (errorString() names the key, e.g. "idx_table[12].oem_model"); Missing that there is
    // no file.
    ReadResult read(const QString &name, QJsonObject &scheme);
    // Whether the file holds a scheme that read() accepts; *problem says why not.
    static bool readChecked(const QString &path, QJsonObject *scheme = nullptr,
                            QString *problem = nullptr);
    // Writes the scheme unless the file already holds exactly it. With keepBackup an
    // overwrite keeps the earlier version as "<file>.bak", replacing the previous one; a .bak
    // that is no readable scheme is first renamed to a kept name (see keepUnreadable()).
    bool write(const QString &name, const QJsonObject &scheme, bool keepBackup = true);
    // Copies the scheme file to "<file>.unreadable.bak" ("<file>.unreadable.1.bak", ... when
    // taken): names that nothing replaces or removes and that the listing does not show. Sets
    // backupPath().
    bool keepUnreadable(const QString &name);
    bool remove(const QString &name);

    // Whether a new scheme name may become a file in the scheme folder: no path separators,
    // no "..", nothing the file systems of Windows or Linux refuse.
    static bool isSafeName(const QString &name);

    // Adds what the database has and the scheme lacks (see the .cpp). A database that
    // cannot be read adds nothing. With `stored`, notes the sale values of every database
    // row on the way (the same two reads).
    static void completeScheme(QJsonObject &scheme, HDatabase *db,
                               HSaleStatusStored *stored = nullptr);
    static QJsonArray readSeriesFromDb(HDatabase *db);
    static QJsonArray readModelsFromDb(HDatabase *db);

    // The scheme with its install codes replaced by their MD5 digests.
    static QJsonObject digestInstallCodes(const QJsonObject &scheme);
    static QString installCodeDigest(const QString &code);

    // Writes every scheme file with digested install codes into `folder`. Sources that
    // cannot be read are skipped; problems() names them and every failed write.
    bool exportAll(const QString &folder);
    QStringList problems() const { return m_problems; }

    QString errorString() const { return m_error; }
    QString backupPath() const { return m_backupPath; }

private:
    QString m_error;
    QString m_backupPath;
    QStringList m_problems;
};
