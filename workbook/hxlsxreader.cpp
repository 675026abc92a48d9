#include "hxlsxreader.h"

#include <QDir>
#include <QHash>
#include <QXmlStreamReader>

#include <quazip.h>
#include <quazipfile.h>

namespace {

constexpr int MaxRows = 1048576;
constexpr int MaxColumns = 16384;

bool readEntry(QuaZip &zip, const QString &name, QByteArray *data, QString *error)
{
    if (!zip.setCurrentFile(name, QuaZip::csInsensitive)) {
        *error = QStringLiteral("the workbook has no part %1").arg(name);
        return false;
    }
    QuaZipFile file(&zip);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("the part %1 cannot be unpacked (zip error %2)")
                     .arg(name)
                     .arg(file.getZipError());
        return false;
    }
    *data = file.readAll();
    const int zipError = file.getZipError();
    file.close();
    if (zipError != UNZ_OK || file.getZipError() != UNZ_OK) {
        *error = QStringLiteral("the part %1 is damaged (zip error %2)").arg(name).arg(zipError);
        return false;
    }
    return true;
}

QString xmlError(const QString &part, const QXmlStreamReader &xml)
{
    return QStringLiteral("the part %1 is not well-formed XML (line %2: %3)")
        .arg(part)
        .arg(xml.lineNumber())
        .arg(xml.errorString());
}

// The text of a string item (<si> or <is>, the reader standing on its start): its <t>
// elements, rich runs included, phonetic runs left out.
QString stringItem(QXmlStreamReader &xml)
{
    QString text;
    int depth = 1;
    while (depth > 0 && !xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (xml.name() == QLatin1String("t"))
                text += xml.readElementText(QXmlStreamReader::IncludeChildElements);
            else if (xml.name() == QLatin1String("rPh"))
                xml.skipCurrentElement();
            else
                ++depth;
        } else if (xml.isEndElement()) {
            --depth;
        }
    }
    return text;
}

bool sharedStrings(const QByteArray &data, QStringList *strings, QString *error)
{
    QXmlStreamReader xml(data);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("si"))
            strings->append(stringItem(xml));
    }
    if (xml.hasError()) {
        *error = xmlError(QStringLiteral("xl/sharedStrings.xml"), xml);
        return false;
    }
    return true;
}

// "BC12" -> column 54 (0-based) and row 11 (0-based, -1 when absent).
bool parseReference(const QStringRef &ref, int *column, int *row)
{
    int c = 0;
    int i = 0;
    while (i < ref.size() && ref.at(i).isLetter()) {
        c = c * 26 + (ref.at(i).toUpper().unicode() - 'A' + 1);
        if (c > MaxColumns)
            return false;
        ++i;
    }
    if (i == 0)
        return false;
    *column = c - 1;
    *row = -1;
    if (i < ref.size()) {
        bool ok = false;
        const int r = ref.mid(i).toInt(&ok);
        if (!ok || r < 1 || r > MaxRows)
            return false;
        *row = r - 1;
    }
    return true;
}

bool readSheet(const QByteArray &data, const QString &part, const QStringList &strings,
               HWorkbookSheet *sheet, QString *error)
{
    QXmlStreamReader xml(data);
    int row = -1;
    int column = -1;
    auto bad = [&](const QString &what) {
        *error = QStringLiteral("the part %1 is damaged: %2").arg(part, what);
        return false;
    };
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("row")) {
            const QStringRef r = xml.attributes().value(QLatin1String("r"));
            if (r.isEmpty()) {
                ++row;
            } else {
                bool ok = false;
                const int value = r.toInt(&ok);
                if (!ok || value < 1 || value > MaxRows)
                    return bad(QStringLiteral("row number \"%1\"").arg(r.toString()));
                row = value - 1;
            }
            column = -1;
            continue;
        }
        if (xml.name() != QLatin1String("c"))
            continue;
        if (row < 0)
            row = 0;
        const QXmlStreamAttributes attributes = xml.attributes();
        const QStringRef ref = attributes.value(QLatin1String("r"));
        if (ref.isEmpty()) {
            ++column;
        } else {
            int refRow = -1;
            if (!parseReference(ref, &column, &refRow))
                return bad(QStringLiteral("cell reference \"%1\"").arg(ref.toString()));
            if (refRow >= 0)
                row = refRow;
        }
        if (column >= MaxColumns)
            return bad(QStringLiteral("too many columns"));
        const QString type = attributes.value(QLatin1String("t")).toString();
        QString value;
        bool hasValue = false;
        QString inlineText;
        while (xml.readNextStartElement()) {
            if (xml.name() == QLatin1String("v")) {
                value = xml.readElementText(QXmlStreamReader::IncludeChildElements);
                hasValue = true;
            } else if (xml.name() == QLatin1String("is")) {
                inlineText = stringItem(xml);
            } else {
                xml.skipCurrentElement();
            }
        }
        if (xml.hasError())
            break;
        QString text;
        if (type == QLatin1String("s")) {
            if (hasValue) {
                bool ok = false;
                const int index = value.trimmed().toInt(&ok);
                if (!ok || index < 0 || index >= strings.size())
                    return bad(QStringLiteral("shared string index \"%1\"").arg(value));
                text = strings.at(index);
            }
        } else if (type == QLatin1String("inlineStr")) {
            text = hasValue ? value : inlineText;
        } else if (type == QLatin1String("b")) {
            if (hasValue)
                text = value.trimmed() == QLatin1String("1") ? QStringLiteral("TRUE")
                                                             : QStringLiteral("FALSE");
        } else if (type == QLatin1String("str") || type == QLatin1String("e") ||
                   type == QLatin1String("d")) {
            text = value;
        } else if (hasValue) {
            bool ok = false;
            const double number = value.trimmed().toDouble(&ok);
            text = ok ? HWorkbook::numberText(number) : value;
        }
        if (text.isEmpty())
            continue;
        if (sheet->rows.size() <= row)
            sheet->rows.resize(row + 1);
        QStringList &cells = sheet->rows[row];
        while (cells.size() <= column)
            cells.append(QString());
        cells[column] = text;
    }
    if (xml.hasError()) {
        *error = xmlError(part, xml);
        return false;
    }
    return true;
}

QString partPath(const QString &target)
{
    if (target.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(target.mid(1));
    return QDir::cleanPath(QStringLiteral("xl/") + target);
}

} // namespace

bool HXlsxReader::read(const QString &path, QVector<HWorkbookSheet> *sheets, QString *error)
{
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdUnzip)) {
        *error = QStringLiteral("the file is not a readable .xlsx workbook (zip error %1)")
                     .arg(zip.getZipError());
        return false;
    }

    QByteArray data;
    if (!readEntry(zip, QStringLiteral("xl/workbook.xml"), &data, error))
        return false;
    struct SheetEntry
    {
        QString name;
        QString relation;
    };
    QVector<SheetEntry> entries;
    {
        QXmlStreamReader xml(data);
        while (!xml.atEnd()) {
            xml.readNext();
            if (!xml.isStartElement() || xml.name() != QLatin1String("sheet"))
                continue;
            SheetEntry entry;
            for (const QXmlStreamAttribute &attribute : xml.attributes()) {
                if (attribute.name() == QLatin1String("name") && attribute.prefix().isEmpty())
                    entry.name = attribute.value().toString();
                else if (attribute.name() == QLatin1String("id") && !attribute.prefix().isEmpty())
                    entry.relation = attribute.value().toString();
            }
            entries.append(entry);
        }
        if (xml.hasError()) {
            *error = xmlError(QStringLiteral("xl/workbook.xml"), xml);
            return false;
        }
    }

    QHash<QString, QString> targets;
    QString sharedStringsPart = QStringLiteral("xl/sharedStrings.xml");
    QString ignored;
    if (readEntry(zip, QStringLiteral("xl/_rels/workbook.xml.rels"), &data, &ignored)) {
        QXmlStreamReader xml(data);
        while (!xml.atEnd()) {
            xml.readNext();
            if (!xml.isStartElement() || xml.name() != QLatin1String("Relationship"))
                continue;
            const QXmlStreamAttributes attributes = xml.attributes();
            const QString target = partPath(attributes.value(QLatin1String("Target")).toString());
            targets.insert(attributes.value(QLatin1String("Id")).toString(), target);
            if (attributes.value(QLatin1String("Type")).endsWith(QLatin1String("/sharedStrings")))
                sharedStringsPart = target;
        }
        if (xml.hasError()) {
            *error = xmlError(QStringLiteral("xl/_rels/workbook.xml.rels"), xml);
            return false;
        }
    }

    QStringList strings;
    if (readEntry(zip, sharedStringsPart, &data, &ignored)) {
        if (!sharedStrings(data, &strings, error))
            return false;
    }

    for (int i = 0; i < entries.size(); ++i) {
        const SheetEntry &entry = entries.at(i);
        const QString part =
            targets.value(entry.relation, QStringLiteral("xl/worksheets/sheet%1.xml").arg(i + 1));
        if (!readEntry(zip, part, &data, error))
            return false;
        HWorkbookSheet sheet;
        sheet.name = entry.name;
        if (!readSheet(data, part, strings, &sheet, error))
            return false;
        sheets->append(sheet);
    }
    if (entries.isEmpty()) {
        *error = QStringLiteral("the workbook lists no sheets");
        return false;
    }
    return true;
}
