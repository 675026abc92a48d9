#include "hworkbook.h"

#include "hworkbookreader.h"
#include "hworkbookwriter.h"

#include <QFile>
#include <QFileInfo>

#include <cmath>

namespace {

// Collects every sheet with its rows.
class Collector : public HWorkbookVisitor
{
public:
    explicit Collector(QVector<HWorkbookSheet> *sheets)
        : m_sheets(sheets)
    {}
    bool sheet(const QString &name, bool, QString *) override
    {
        m_sheets->append(HWorkbookSheet{name, {}});
        return true;
    }
    bool row(const HWorkbookRow &row, QString *) override
    {
        QVector<QStringList> &rows = m_sheets->last().rows;
        rows.resize(row.index);
        QStringList cells;
        cells.reserve(row.cells.size());
        for (const QString &cell : row.cells)
            cells.append(cell);
        rows.append(cells);
        return true;
    }

private:
    QVector<HWorkbookSheet> *m_sheets;
};

int hexDigit(ushort c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The code of an escape "_xHHHH_" at `at`, or -1.
int escapeAt(const QString &text, int at)
{
    if (at + 7 > text.size() || text.at(at) != QLatin1Char('_') ||
        text.at(at + 1) != QLatin1Char('x') || text.at(at + 6) != QLatin1Char('_'))
        return -1;
    int code = 0;
    for (int i = 2; i < 6; ++i) {
        const int digit = hexDigit(text.at(at + i).unicode());
        if (digit < 0)
            return -1;
        code = code * 16 + digit;
    }
    return code;
}

bool needsEscape(ushort c)
{
    return (c < 0x20 && c != '\t' && c != '\n') || c == 0xFFFE || c == 0xFFFF;
}

} // namespace

HWorkbook::Format HWorkbook::formatOfContent(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Unknown;
    const QByteArray head = file.read(8);
    if (head == QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8))
        return Xls;
    if (head.startsWith("PK\x03\x04"))
        return Xlsx;
    return Unknown;
}

HWorkbook::Format HWorkbook::formatOfName(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("xls"))
        return Xls;
    if (suffix == QLatin1String("xlsx"))
        return Xlsx;
    return Unknown;
}

bool HWorkbook::read(const QString &path)
{
    sheets.clear();
    emptySheets.clear();
    Collector collector(&sheets);
    if (HWorkbookReader::read(path, collector, &m_error))
        return true;
    sheets.clear();
    return false;
}

bool HWorkbook::write(const QString &path, Format format)
{
    m_error.clear();
    if (format == Unknown) {
        m_error = QStringLiteral("unknown workbook format");
        return false;
    }
    // Sheets without any cell are kept as empty sheets.
    QVector<HWorkbookSheet> all = sheets;
    for (const QString &name : qAsConst(emptySheets)) {
        bool present = false;
        for (const HWorkbookSheet &sheet : qAsConst(all))
            present = present || sameSheetName(sheet.name, name);
        if (!present)
            all.append(HWorkbookSheet{name, {}});
    }
    qint64 rows = 0;
    for (const HWorkbookSheet &sheet : qAsConst(all))
        rows += sheet.rows.size();
    const std::unique_ptr<HWorkbookWriter> writer = HWorkbookWriter::create(format, path, rows);
    for (const HWorkbookSheet &sheet : qAsConst(all)) {
        if (!writer->addSheet(sheet.name))
            break;
        for (int r = 0; r < sheet.rows.size(); ++r) {
            if (!writer->addRow(r, sheet.rows.at(r)))
                break;
        }
    }
    if (writer->commit())
        return true;
    m_error = writer->errorString();
    return false;
}

QString HWorkbook::numberText(double value)
{
    if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 1e15)
        return QString::number(static_cast<qint64>(value));
    return QString::number(value, 'g', 15);
}

bool HWorkbook::sameSheetName(const QString &a, const QString &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        ushort x = a.at(i).unicode();
        ushort y = b.at(i).unicode();
        if (x >= 'A' && x <= 'Z')
            x += 'a' - 'A';
        if (y >= 'A' && y <= 'Z')
            y += 'a' - 'A';
        if (x != y)
            return false;
    }
    return true;
}

QString HWorkbook::columnName(int column)
{
    QString name;
    for (int c = column + 1; c > 0; c = (c - 1) / 26)
        name.prepend(QChar('A' + (c - 1) % 26));
    return name;
}

QString HWorkbook::decodeEscapes(const QString &text)
{
    int at = text.indexOf(QLatin1String("_x"));
    if (at < 0)
        return text;
    QString out;
    out.reserve(text.size());
    int from = 0;
    while (at >= 0) {
        const int code = escapeAt(text, at);
        if (code < 0) {
            at = text.indexOf(QLatin1String("_x"), at + 1);
            continue;
        }
        out.append(text.midRef(from, at - from));
        out.append(QChar(ushort(code)));
        from = at + 7;
        at = text.indexOf(QLatin1String("_x"), from);
    }
    out.append(text.midRef(from));
    return out;
}

QString HWorkbook::encodeEscapes(const QString &text)
{
    bool plain = true;
    for (int i = 0; i < text.size() && plain; ++i) {
        const ushort c = text.at(i).unicode();
        plain = !needsEscape(c) && !(c == '_' && escapeAt(text, i) >= 0);
    }
    if (plain)
        return text;
    QString out;
    out.reserve(text.size() + 16);
    for (int i = 0; i < text.size(); ++i) {
        const ushort c = text.at(i).unicode();
        if (!needsEscape(c) && !(c == '_' && escapeAt(text, i) >= 0)) {
            out.append(QChar(c));
            continue;
        }
        static const char hex[] = "0123456789ABCDEF";
        out.append(QLatin1String("_x"));
        for (int shift = 12; shift >= 0; shift -= 4)
            out.append(QLatin1Char(hex[(c >> shift) & 0xF]));
        out.append(QLatin1Char('_'));
    }
    return out;
}
