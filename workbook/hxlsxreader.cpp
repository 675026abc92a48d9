#include "hxlsxreader.h"

#include "hworkbook.h"
#include "hxlsxpackage.h"
#include "hxmlscanner.h"

#include <QDir>
#include <QHash>

#include <climits>
#include <cstring>
#include <string>

namespace {

constexpr qint64 Limit = HWorkbookReader::MaxInflatedBytes;
using Workbook = HXlsxPackage;

QString thousands(qint64 value)
{
    return HXlsxPackage::thousands(value);
}

QString partPath(const QString &target)
{
    if (target.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(target.mid(1));
    return QDir::cleanPath(QStringLiteral("xl/") + target);
}

QString utf8(const std::string &text, int most = INT_MAX)
{
    return QString::fromUtf8(text.data(), int(qMin<size_t>(text.size(), size_t(most))));
}

// A cell text as the file holds it: UTF-8, "_xHHHH_" escapes decoded.
QString cellText(const char *data, int size)
{
    // Most cells are ASCII: those take the Latin-1 conversion, a plain widening copy.
    bool ascii = true;
    bool escape = false;
    for (int i = 0; i < size; ++i) {
        const char c = data[i];
        if (uchar(c) >= 0x80)
            ascii = false;
        else if (c == '_' && i + 1 < size && data[i + 1] == 'x')
            escape = true;
    }
    const QString text = ascii ? QString::fromLatin1(data, size) : QString::fromUtf8(data, size);
    return escape ? HWorkbook::decodeEscapes(text) : text;
}

QString cellText(const std::string &text)
{
    return cellText(text.data(), int(text.size()));
}

// The text without blanks around it.
void trim(const std::string &text, const char **data, int *size)
{
    const char *begin = text.data();
    const char *end = begin + text.size();
    while (begin < end && (*begin == ' ' || *begin == '\t' || *begin == '\n'))
        ++begin;
    while (end > begin && (end[-1] == ' ' || end[-1] == '\t' || end[-1] == '\n'))
        --end;
    *data = begin;
    *size = int(end - begin);
}

// A non-negative decimal number, or -1.
qint64 decimal(const char *data, int size)
{
    if (size < 1 || size > 12)
        return -1;
    qint64 value = 0;
    for (int i = 0; i < size; ++i) {
        if (data[i] < '0' || data[i] > '9')
            return -1;
        value = value * 10 + (data[i] - '0');
    }
    return value;
}

// Digits only, no sign, no leading zero: the text of an integer as numberText() writes it.
bool isPlainInteger(const char *data, int size)
{
    if (size < 1 || size > 15 || (data[0] == '0' && size > 1))
        return false;
    for (int i = 0; i < size; ++i) {
        if (data[i] < '0' || data[i] > '9')
            return false;
    }
    return true;
}

struct SheetEntry
{
    QString name;
    QString relation;
};

bool readSheetList(Workbook &book, QVector<SheetEntry> *entries)
{
    const QString part = QStringLiteral("xl/workbook.xml");
    QuaZip &zip = book.m_zip;
    QuaZipFile file(&zip);
    if (!book.openPart(file, part))
        return false;
    HXmlScanner xml(&file, part, &book.m_inflated, Limit);
    std::string value;
    while (xml.next() != HXmlScanner::EndDocument) {
        if (xml.atError())
            return book.scanError(xml);
        if (xml.token() != HXmlScanner::StartElement || !xml.is("sheet"))
            continue;
        SheetEntry entry;
        if (xml.attribute("name", &value))
            entry.name = utf8(value);
        if (xml.attribute("id", &value, true))
            entry.relation = utf8(value);
        if (xml.atError())
            return book.scanError(xml);
        entries->append(entry);
    }
    if (!book.closePart(file, part))
        return false;
    if (entries->isEmpty()) {
        *book.m_error = QStringLiteral("the workbook lists no sheets");
        return false;
    }
    return true;
}

bool readRelations(Workbook &book, QHash<QString, QString> *targets, QString *sharedStrings)
{
    const QString part = QStringLiteral("xl/_rels/workbook.xml.rels");
    QuaZipFile file(&book.m_zip);
    if (!book.openPart(file, part, true))
        return book.m_error->isEmpty();
    HXmlScanner xml(&file, part, &book.m_inflated, Limit);
    std::string id, target, type;
    while (xml.next() != HXmlScanner::EndDocument) {
        if (xml.atError())
            return book.scanError(xml);
        if (xml.token() != HXmlScanner::StartElement || !xml.is("Relationship"))
            continue;
        if (!xml.attribute("Id", &id) || !xml.attribute("Target", &target))
            continue;
        const QString path = partPath(utf8(target));
        targets->insert(utf8(id), path);
        if (xml.attribute("Type", &type) && utf8(type).endsWith(QLatin1String("/sharedStrings")))
            *sharedStrings = path;
    }
    return book.closePart(file, part);
}

// The texts of a string item (<si> or <is>, the scanner on its start): its <t> elements, rich
// runs included, phonetic runs left out. False on a damaged part or too long a text.
bool stringItem(HXmlScanner &xml, std::string *text, QString *what)
{
    text->clear();
    const int depth = xml.depth();
    int phonetic = 0;
    bool inText = false;
    while (xml.next() != HXmlScanner::EndDocument) {
        switch (xml.token()) {
        case HXmlScanner::Invalid:
            return false;
        case HXmlScanner::StartElement:
            if (xml.is("rPh"))
                ++phonetic;
            else if (xml.is("t") && !phonetic)
                inText = true;
            break;
        case HXmlScanner::EndElement:
            if (xml.depth() < depth)
                return true;
            if (xml.is("rPh"))
                --phonetic;
            else if (xml.is("t"))
                inText = false;
            break;
        case HXmlScanner::Characters:
            if (inText) {
                if (!xml.appendText(text))
                    return false;
                // UTF-8 takes at most 4 bytes a character.
                if (text->size() > 4 * size_t(HWorkbookReader::MaxTextLength)) {
                    *what = QStringLiteral("a text longer than the %1 characters a cell holds")
                                .arg(thousands(HWorkbookReader::MaxTextLength));
                    return false;
                }
            }
            break;
        case HXmlScanner::EndDocument:
            break;
        }
    }
    return true;
}

bool checkLength(const QString &text, QString *what)
{
    if (text.size() <= HWorkbookReader::MaxTextLength)
        return true;
    *what = QStringLiteral("a text of %1 characters, more than the %2 a cell holds")
                .arg(thousands(text.size()))
                .arg(thousands(HWorkbookReader::MaxTextLength));
    return false;
}

bool readSharedStrings(Workbook &book, const QString &part)
{
    QuaZipFile file(&book.m_zip);
    if (!book.openPart(file, part, true))
        return book.m_error->isEmpty();
    HXmlScanner xml(&file, part, &book.m_inflated, Limit);
    std::string text;
    QString what;
    while (xml.next() != HXmlScanner::EndDocument) {
        if (xml.atError())
            return book.scanError(xml);
        if (xml.token() != HXmlScanner::StartElement)
            continue;
        if (xml.is("sst")) {
            std::string count;
            if (xml.attribute("uniqueCount", &count))
                book.m_strings.reserve(
                    int(qBound<qint64>(0, decimal(count.data(), int(count.size())), 1 << 20)));
            continue;
        }
        if (!xml.is("si"))
            continue;
        if (!stringItem(xml, &text, &what)) {
            if (xml.atError())
                return book.scanError(xml);
            *book.m_error = QStringLiteral("the part %1 holds %2").arg(part, what);
            return false;
        }
        book.m_strings.append(cellText(text));
        if (!checkLength(book.m_strings.last(), &what)) {
            *book.m_error = QStringLiteral("the part %1 holds %2").arg(part, what);
            return false;
        }
    }
    return book.closePart(file, part);
}

// "BC12": column 54 (0-based); false when it is no cell reference.
bool referenceColumn(const char *data, int size, int *column, qint64 *row)
{
    int i = 0;
    qint64 c = 0;
    while (i < size && ((data[i] >= 'A' && data[i] <= 'Z') || (data[i] >= 'a' && data[i] <= 'z'))) {
        c = c * 26 + ((data[i] | 0x20) - 'a' + 1);
        if (c > 1 << 20)
            return false;
        ++i;
    }
    if (i == 0)
        return false;
    qint64 r = 0;
    const int digits = i;
    while (i < size && data[i] >= '0' && data[i] <= '9' && r <= HWorkbookReader::MaxRows)
        r = r * 10 + (data[i++] - '0');
    if (i != size || (i > digits && r < 1))
        return false;
    *column = int(c - 1);
    *row = r;
    return true;
}

class SheetReader
{
public:
    SheetReader(Workbook &book, HXmlScanner &xml, HWorkbookVisitor &visitor, const QString &name,
                const QString &part)
        : m_book(book)
        , m_xml(xml)
        , m_visitor(visitor)
        , m_name(name)
        , m_part(part)
    {}

    bool read();

private:
    bool damaged(const QString &what)
    {
        *m_book.m_error =
            QStringLiteral("sheet \"%1\" is damaged: %2 (part %3)").arg(m_name, what, m_part);
        return false;
    }
    bool refused(const QString &what)
    {
        *m_book.m_error = QStringLiteral("sheet \"%1\": %2").arg(m_name, what);
        return false;
    }
    QString reference(int column) const
    {
        return HWorkbook::columnName(column) + QString::number(m_row.index + 1);
    }
    // An attribute's bytes: straight from the scanner when they need no decoding, else
    // decoded into m_attribute.
    template <int N> bool attributeBytes(const char (&name)[N], const char **data, int *size)
    {
        if (m_xml.rawAttribute(name, data, size))
            return true;
        if (!m_xml.attribute(name, &m_attribute))
            return false;
        *data = m_attribute.data();
        *size = int(m_attribute.size());
        return true;
    }
    bool startRow();
    bool endRow();
    bool cell();

    Workbook &m_book;
    HXmlScanner &m_xml;
    HWorkbookVisitor &m_visitor;
    QString m_name;
    QString m_part;
    HWorkbookRow m_row;
    bool m_inRow = false;
    int m_lastRow = -1;
    int m_column = -1;
    // Reused from cell to cell, so that a cell costs no allocation of its own.
    std::string m_value;
    std::string m_inline;
    std::string m_attribute;
};

bool SheetReader::startRow()
{
    qint64 index = m_lastRow + 1;
    if (m_xml.attribute("r", &m_attribute)) {
        const char *data = nullptr;
        int size = 0;
        trim(m_attribute, &data, &size);
        index = decimal(data, size) - 1;
        if (index < 0)
            return damaged(QStringLiteral("the row number \"%1\"").arg(utf8(m_attribute, 32)));
    }
    if (index >= HWorkbookReader::MaxRows)
        return refused(QStringLiteral("it has more than %1 rows, the most a sheet holds")
                           .arg(thousands(HWorkbookReader::MaxRows)));
    if (index <= m_lastRow)
        return damaged(
            QStringLiteral("row %1 comes after row %2").arg(index + 1).arg(m_lastRow + 1));
    m_row.index = int(index);
    m_row.cells.clear();
    m_row.uncomputed.clear();
    m_inRow = true;
    m_column = -1;
    return true;
}

bool SheetReader::endRow()
{
    m_inRow = false;
    m_lastRow = m_row.index;
    if (m_row.cells.isEmpty() && m_row.uncomputed.isEmpty())
        return true;
    QString error;
    if (!m_visitor.row(m_row, &error)) {
        *m_book.m_error = error;
        return false;
    }
    return true;
}

bool SheetReader::cell()
{
    if (!m_inRow)
        return damaged(QStringLiteral("a cell outside a row"));
    const char *data = nullptr;
    int size = 0;
    if (attributeBytes("r", &data, &size)) {
        qint64 row = 0;
        int column = 0;
        const auto shown = [&] { return QString::fromUtf8(data, qMin(size, 32)); };
        if (!referenceColumn(data, size, &column, &row))
            return damaged(QStringLiteral("the cell reference \"%1\"").arg(shown()));
        if (column >= HWorkbookReader::MaxColumns)
            return refused(QStringLiteral("the cell %1 lies beyond column %2: only the first %3 "
                                          "columns are read")
                               .arg(shown())
                               .arg(HWorkbook::columnName(HWorkbookReader::MaxColumns - 1))
                               .arg(thousands(HWorkbookReader::MaxColumns)));
        m_column = column;
    } else if (++m_column >= HWorkbookReader::MaxColumns) {
        return refused(QStringLiteral("row %1 has cells beyond column %2: only the first %3 "
                                      "columns are read")
                           .arg(m_row.index + 1)
                           .arg(HWorkbook::columnName(HWorkbookReader::MaxColumns - 1))
                           .arg(thousands(HWorkbookReader::MaxColumns)));
    }
    char type = 'n';
    if (attributeBytes("t", &data, &size)) {
        const auto is = [&](const char *name, int length) {
            return size == length && std::memcmp(data, name, size_t(length)) == 0;
        };
        if (is("s", 1))
            type = 's';
        else if (is("inlineStr", 9))
            type = 'i';
        else if (is("b", 1))
            type = 'b';
        else if (is("str", 3) || is("e", 1) || is("d", 1))
            type = 't';
    }
    if (m_xml.atError())
        return m_book.scanError(m_xml);

    // The cell's children: <v> (the value, or a formula's stored result), <is> (an in-cell
    // string), <f> (a formula).
    const int depth = m_xml.depth();
    bool hasValue = false;
    bool hasFormula = false;
    bool hasInline = false;
    bool inValue = false;
    QString what;
    m_value.clear();
    m_inline.clear();
    while (m_xml.next() != HXmlScanner::EndDocument) {
        const HXmlScanner::Token token = m_xml.token();
        if (token == HXmlScanner::Invalid)
            return m_book.scanError(m_xml);
        if (token == HXmlScanner::EndElement) {
            if (m_xml.depth() < depth)
                break;
            inValue = false;
        } else if (token == HXmlScanner::StartElement && m_xml.depth() == depth + 1) {
            if (m_xml.is("v")) {
                hasValue = true;
                inValue = true;
            } else if (m_xml.is("f")) {
                hasFormula = true;
            } else if (m_xml.is("is")) {
                hasInline = true;
                if (!stringItem(m_xml, &m_inline, &what)) {
                    if (m_xml.atError())
                        return m_book.scanError(m_xml);
                    return refused(
                        QStringLiteral("the cell %1 holds %2").arg(reference(m_column), what));
                }
            }
        } else if (token == HXmlScanner::Characters && inValue) {
            if (!m_xml.appendText(&m_value))
                return m_book.scanError(m_xml);
            if (m_value.size() > 4 * size_t(HWorkbookReader::MaxTextLength))
                return refused(QStringLiteral("the cell %1 holds a text longer than the %2 "
                                              "characters a cell holds")
                                   .arg(reference(m_column))
                                   .arg(thousands(HWorkbookReader::MaxTextLength)));
        }
    }
    if (m_xml.atError())
        return m_book.scanError(m_xml);

    if (!m_visitor.wants(m_column))
        return true;
    QString text;
    switch (type) {
    case 's':
        if (hasValue) {
            const char *data = nullptr;
            int size = 0;
            trim(m_value, &data, &size);
            const qint64 index = decimal(data, size);
            if (index < 0 || index >= m_book.m_strings.size())
                return damaged(QStringLiteral("the cell %1 refers to shared text \"%2\", which "
                                              "does not exist")
                                   .arg(reference(m_column), utf8(m_value, 32)));
            text = m_book.m_strings.at(int(index));
        }
        break;
    case 'i':
        text = cellText(hasValue ? m_value : m_inline);
        break;
    case 'b':
        if (hasValue) {
            const char *data = nullptr;
            int size = 0;
            trim(m_value, &data, &size);
            text = size == 1 && *data == '1' ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
        }
        break;
    case 't':
        text = cellText(m_value);
        break;
    default:
        if (hasValue) {
            const char *data = nullptr;
            int size = 0;
            trim(m_value, &data, &size);
            if (isPlainInteger(data, size)) {
                text = QString::fromLatin1(data, size);
            } else {
                bool ok = false;
                const double number = QByteArray::fromRawData(data, size).toDouble(&ok);
                text = ok ? HWorkbook::numberText(number) : cellText(data, size);
            }
        }
        break;
    }
    if (!checkLength(text, &what))
        return refused(QStringLiteral("the cell %1 holds %2").arg(reference(m_column), what));
    if (hasFormula && !hasValue && !hasInline) {
        m_row.uncomputed.append(m_column);
        return true;
    }
    if (text.isEmpty())
        return true;
    if (m_row.cells.size() <= m_column)
        m_row.cells.resize(m_column + 1);
    m_row.cells[m_column] = text;
    return true;
}

bool SheetReader::read()
{
    while (m_xml.next() != HXmlScanner::EndDocument) {
        switch (m_xml.token()) {
        case HXmlScanner::Invalid:
            return m_book.scanError(m_xml);
        case HXmlScanner::StartElement:
            if (m_xml.is("c")) {
                if (!cell())
                    return false;
            } else if (m_xml.is("row")) {
                if (m_inRow)
                    return damaged(QStringLiteral("a row inside a row"));
                if (!startRow())
                    return false;
            }
            break;
        case HXmlScanner::EndElement:
            if (m_inRow && m_xml.is("row") && !endRow())
                return false;
            break;
        default:
            break;
        }
    }
    return true;
}

} // namespace

bool HXlsxReader::read(const QString &path, HWorkbookVisitor &visitor, const QString &onlySheet,
                       QString *error)
{
    error->clear();
    Workbook book(path, error);
    if (!book.open())
        return false;
    QVector<SheetEntry> entries;
    if (!readSheetList(book, &entries))
        return false;
    QHash<QString, QString> targets;
    QString sharedStringsPart = QStringLiteral("xl/sharedStrings.xml");
    if (!readRelations(book, &targets, &sharedStringsPart))
        return false;

    QVector<bool> wanted(entries.size(), onlySheet.isEmpty());
    if (!onlySheet.isEmpty()) {
        for (int i = 0; i < entries.size(); ++i) {
            if (HWorkbook::sameSheetName(entries.at(i).name, onlySheet)) {
                wanted[i] = true;
                break;
            }
        }
    }
    if (wanted.contains(true) && !readSharedStrings(book, sharedStringsPart))
        return false;

    for (int i = 0; i < entries.size(); ++i) {
        const SheetEntry &entry = entries.at(i);
        QString failure;
        if (!visitor.sheet(entry.name, wanted.at(i), &failure)) {
            *error = failure;
            return false;
        }
        if (!wanted.at(i))
            continue;
        const QString part =
            targets.value(entry.relation, QStringLiteral("xl/worksheets/sheet%1.xml").arg(i + 1));
        QuaZipFile file(&book.m_zip);
        if (!book.openPart(file, part))
            return false;
        HXmlScanner xml(&file, part, &book.m_inflated, Limit);
        SheetReader sheet(book, xml, visitor, entry.name, part);
        if (!sheet.read() || !book.closePart(file, part))
            return false;
    }
    return true;
}
