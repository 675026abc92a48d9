#include "hbiff8writer.h"

#include "hsafefile.h"

#include <QtEndian>
#include <QtMath>

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-utils.h>

#include <cstring>
#include <mutex>

namespace {

// Record types.
constexpr quint16 BOF = 0x0809;
constexpr quint16 EOF_ = 0x000A;
constexpr quint16 CODEPAGE = 0x0042;
constexpr quint16 WINDOW1 = 0x003D;
constexpr quint16 FONT = 0x0031;
constexpr quint16 XF = 0x00E0;
constexpr quint16 STYLE = 0x0293;
constexpr quint16 BOUNDSHEET = 0x0085;
constexpr quint16 SST = 0x00FC;
constexpr quint16 CONTINUE = 0x003C;
constexpr quint16 EXTSST = 0x00FF;
constexpr quint16 DIMENSIONS = 0x0200;
constexpr quint16 WSBOOL = 0x0081;
constexpr quint16 ROW = 0x0208;
constexpr quint16 LABELSST = 0x00FD;
constexpr quint16 WINDOW2 = 0x023E;

// The largest record body; longer data goes on in CONTINUE records.
constexpr int MaxRecordData = 8224;
// The cell format every text cell uses: the first cell XF after the 15 style XFs.
constexpr quint16 CellXf = 15;
// Some readers cannot take a workbook stream kept in the compound file's small-block
// area; a stream of at least 4096 bytes lives in regular sectors.
constexpr int MinStreamSize = 4096;

// Little-endian fields, written into a buffer the caller sized.
inline void put16(char *at, quint16 v)
{
    qToLittleEndian(v, at);
}

inline void put32(char *at, quint32 v)
{
    qToLittleEndian(v, at);
}

void u8(QByteArray &out, quint8 v)
{
    out.append(static_cast<char>(v));
}

void u16(QByteArray &out, quint16 v)
{
    char bytes[2];
    put16(bytes, v);
    out.append(bytes, 2);
}

void u32(QByteArray &out, quint32 v)
{
    char bytes[4];
    put32(bytes, v);
    out.append(bytes, 4);
}

void record(QByteArray &stream, quint16 type, const QByteArray &body)
{
    char header[4];
    put16(header, type);
    put16(header + 2, static_cast<quint16>(body.size()));
    stream.append(header, 4);
    stream.append(body);
}

bool isCompressible(const QString &text)
{
    for (const QChar ch : text) {
        if (ch.unicode() > 0xFF)
            return false;
    }
    return true;
}

// Characters [from, from + count) of a text: one byte each when compressed, else UTF-16LE.
void appendChars(QByteArray &out, const QString &text, int from, int count, bool wide)
{
    if (!wide) {
        const int at = out.size();
        out.resize(at + count);
        char *to = out.data() + at;
        const QChar *chars = text.constData() + from;
        for (int i = 0; i < count; ++i)
            to[i] = static_cast<char>(chars[i].unicode());
        return;
    }
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    out.append(reinterpret_cast<const char *>(text.utf16() + from), count * 2);
#else
    for (int i = from; i < from + count; ++i)
        u16(out, text.at(i).unicode());
#endif
}

// A short string (one-byte length), as sheet and font names are stored.
QByteArray shortString(const QString &text)
{
    QByteArray out;
    const bool wide = !isCompressible(text);
    u8(out, static_cast<quint8>(text.size()));
    u8(out, wide ? 1 : 0);
    appendChars(out, text, 0, text.size(), wide);
    return out;
}

QByteArray bof(quint16 kind)
{
    QByteArray body;
    u16(body, 0x0600); // BIFF8
    u16(body, kind);   // 0x0005 workbook globals, 0x0010 worksheet
    u16(body, 0x0DBB);
    u16(body, 0x07CC);
    u32(body, 0);
    u32(body, 0x00000006);
    return body;
}

QByteArray font()
{
    QByteArray body;
    u16(body, 200);    // 10 pt in twips
    u16(body, 0);      // no attributes
    u16(body, 0x7FFF); // automatic colour
    u16(body, 400);    // normal weight
    u16(body, 0);      // no super/subscript
    u8(body, 0);       // no underline
    u8(body, 0);       // family
    u8(body, 0);       // character set
    u8(body, 0);
    body.append(shortString(QStringLiteral("Arial")));
    return body;
}

QByteArray xf(bool style, quint16 fontIndex, quint8 usedAttributes)
{
    QByteArray body;
    u16(body, fontIndex);
    u16(body, 0);                       // number format "General"
    u16(body, style ? 0xFFF5 : 0x0001); // style XF (no parent) / locked cell XF of style 0
    u8(body, 0x20);                     // bottom aligned
    u8(body, 0);
    u8(body, 0);
    u8(body, usedAttributes);
    u32(body, 0); // no borders
    u32(body, 0);
    u16(body, 0x20C0); // automatic pattern colours
    return body;
}

// The shared string table with its CONTINUE records and the EXTSST index into it, written
// at the current end of the stream.
void writeSst(QByteArray &stream, const QVector<QString> &strings, quint32 total)
{
    const int unique = strings.size();
    const int perBucket = qMax(8, unique / 128 + 1);
    QByteArray buckets;

    QByteArray body;
    body.reserve(MaxRecordData + 8);
    quint16 type = SST;
    int recordStart = stream.size();
    u32(body, total);
    u32(body, static_cast<quint32>(unique));
    auto flush = [&]() {
        record(stream, type, body);
        body.clear();
        type = CONTINUE;
        recordStart = stream.size();
    };

    for (int i = 0; i < unique; ++i) {
        const QString &text = strings.at(i);
        const bool wide = !isCompressible(text);
        const int charSize = wide ? 2 : 1;
        // A string that does not fit into what is left of the record starts a record of its
        // own, so that no string spans more than two records: FreeXL, our .xls reader,
        // misreads strings continued more than once.
        const int size = 3 + text.size() * charSize;
        if (body.size() + size > MaxRecordData && body.size() > (type == SST ? 8 : 0))
            flush();
        if (i % perBucket == 0) {
            u32(buckets, static_cast<quint32>(recordStart + 4 + body.size()));
            u16(buckets, static_cast<quint16>(4 + body.size()));
            u16(buckets, 0);
        }
        u16(body, static_cast<quint16>(text.size()));
        u8(body, wide ? 1 : 0);
        int done = 0;
        while (done < text.size()) {
            int fit = qMin(text.size() - done, (MaxRecordData - body.size()) / charSize);
            // Keep a surrogate pair in one record.
            if (fit < text.size() - done && fit > 0 && text.at(done + fit - 1).isHighSurrogate())
                --fit;
            appendChars(body, text, done, fit, wide);
            done += fit;
            if (done < text.size()) {
                flush();
                u8(body, wide ? 1 : 0); // a continued string restates its width
            }
        }
    }
    flush();

    QByteArray extsst;
    u16(extsst, static_cast<quint16>(perBucket));
    extsst.append(buckets);
    record(stream, EXTSST, extsst);
}

QByteArray sheetHead(int rows, int width)
{
    QByteArray stream;
    record(stream, BOF, bof(0x0010));
    QByteArray body;
    u32(body, 0);
    u32(body, width ? static_cast<quint32>(rows) : 0);
    u16(body, 0);
    u16(body, static_cast<quint16>(width));
    u16(body, 0);
    record(stream, DIMENSIONS, body);
    body.clear();
    u16(body, 0x04C1);
    record(stream, WSBOOL, body);
    return stream;
}

QByteArray sheetTail(bool first)
{
    QByteArray stream;
    QByteArray body;
    u16(body, first ? 0x06B6 : 0x00B6); // grid, headers, zeros; the first sheet selected
    u16(body, 0);
    u16(body, 0);
    u16(body, 0x0040);
    u16(body, 0);
    u16(body, 0);
    u16(body, 0);
    u32(body, 0);
    record(stream, WINDOW2, body);
    record(stream, EOF_, QByteArray());
    return stream;
}

} // namespace

HBiff8Writer::HBiff8Writer(const QString &path, qint64 rows)
    : HWorkbookWriter(path)
    , m_strings(rows * 2) // most texts of a model list differ from each other
{}

bool HBiff8Writer::addSheet(const QString &name)
{
    if (!m_error.isEmpty() || m_done)
        return false;
    static const QString forbidden = QStringLiteral("[]:*?/\\");
    if (name.isEmpty() || name.size() > 31)
        return fail(QStringLiteral("\"%1\" cannot be the name of an .xls sheet (1 to 31 "
                                   "characters)")
                        .arg(name));
    for (const QChar ch : name) {
        if (forbidden.contains(ch))
            return fail(QStringLiteral("\"%1\" cannot be the name of an .xls sheet (it holds "
                                       "\"%2\")")
                            .arg(name, ch));
    }
    for (const Sheet &sheet : qAsConst(m_sheets)) {
        if (HWorkbook::sameSheetName(sheet.name, name))
            return fail(QStringLiteral("two sheets are named \"%1\"").arg(name));
    }
    flushBlock();
    m_sheets.append(Sheet{name, {}, 0, 0});
    m_lastRow = -1;
    m_block = -1;
    return true;
}

bool HBiff8Writer::addRow(int row, const QStringList &cells)
{
    if (!m_error.isEmpty() || m_done)
        return false;
    if (m_sheets.isEmpty())
        return fail(QStringLiteral("a row before the first sheet"));
    Sheet &sheet = m_sheets.last();
    if (row >= MaxRows)
        return fail(rowLimitError(HWorkbook::Xls, sheet.name, qint64(row) + 1));
    if (row <= m_lastRow)
        return fail(QStringLiteral("sheet \"%1\": row %2 written after row %3")
                        .arg(sheet.name)
                        .arg(row + 1)
                        .arg(m_lastRow + 1));
    int first = -1;
    int last = -1;
    for (int c = 0; c < cells.size(); ++c) {
        const QString &text = cells.at(c);
        if (text.isEmpty())
            continue;
        if (text.size() > MaxTextLength)
            return fail(QStringLiteral("sheet \"%1\", row %2, column %3: the text has %4 "
                                       "characters, but an .xls cell holds at most %5 (save as "
                                       ".xlsx instead)")
                            .arg(sheet.name)
                            .arg(row + 1)
                            .arg(c + 1)
                            .arg(text.size())
                            .arg(MaxTextLength));
        if (first < 0)
            first = c;
        last = c;
    }
    if (last >= MaxColumns)
        return fail(QStringLiteral("sheet \"%1\" has %2 columns, but an .xls sheet holds at most "
                                   "%3 columns")
                        .arg(sheet.name)
                        .arg(last + 1)
                        .arg(MaxColumns));
    if (first < 0)
        return true;
    m_lastRow = row;
    if (row / 32 != m_block) {
        flushBlock();
        m_block = row / 32;
    }
    char rowRecord[20];
    put16(rowRecord, ROW);
    put16(rowRecord + 2, 16);
    put16(rowRecord + 4, static_cast<quint16>(row));
    put16(rowRecord + 6, static_cast<quint16>(first));
    put16(rowRecord + 8, static_cast<quint16>(last + 1));
    put16(rowRecord + 10, 0x00FF); // default height
    put16(rowRecord + 12, 0);
    put16(rowRecord + 14, 0);
    put16(rowRecord + 16, 0x0100);
    put16(rowRecord + 18, CellXf);
    m_blockRows.append(rowRecord, sizeof rowRecord);

    char cell[14];
    put16(cell, LABELSST);
    put16(cell + 2, 10);
    put16(cell + 4, static_cast<quint16>(row));
    put16(cell + 8, CellXf);
    for (int c = first; c <= last; ++c) {
        const QString &text = cells.at(c);
        if (text.isEmpty())
            continue;
        put16(cell + 6, static_cast<quint16>(c));
        put32(cell + 10, quint32(m_strings.insert(text)));
        m_blockCells.append(cell, sizeof cell);
        ++m_cells;
    }
    sheet.rows = row + 1;
    sheet.width = qMax(sheet.width, last + 1);
    return true;
}

void HBiff8Writer::flushBlock()
{
    if (m_sheets.isEmpty() || m_blockRows.isEmpty())
        return;
    QByteArray &body = m_sheets.last().body;
    body.append(m_blockRows);
    body.append(m_blockCells);
    m_blockRows.clear();
    m_blockCells.clear();
}

bool HBiff8Writer::workbookStream(QByteArray *stream)
{
    if (!m_error.isEmpty())
        return false;
    if (m_sheets.isEmpty())
        return fail(QStringLiteral("a workbook needs at least one sheet"));
    flushBlock();

    QByteArray out;
    record(out, BOF, bof(0x0005));
    QByteArray body;
    u16(body, 1200); // texts are UTF-16
    record(out, CODEPAGE, body);

    body.clear();
    u16(body, 0);
    u16(body, 0);
    u16(body, 0x25BC);
    u16(body, 0x1572);
    u16(body, 0x0038);
    u16(body, 0); // active sheet
    u16(body, 0); // first visible tab
    u16(body, 1); // selected tabs
    u16(body, 0x0258);
    record(out, WINDOW1, body);

    // Five fonts (index 4 does not exist in BIFF, so these are 0, 1, 2, 3 and 5).
    for (int i = 0; i < 5; ++i)
        record(out, FONT, font());
    // The 15 style XFs every workbook carries, then the one cell XF our cells use.
    record(out, XF, xf(true, 0, 0x00));
    for (int i = 1; i < 15; ++i)
        record(out, XF, xf(true, i < 3 ? 1 : (i < 5 ? 2 : 0), 0xF4));
    record(out, XF, xf(false, 0, 0x00));

    body.clear();
    u16(body, 0x8000); // built-in style of XF 0
    u8(body, 0);       // "Normal"
    u8(body, 0xFF);
    record(out, STYLE, body);

    QVector<int> offsetFields;
    for (const Sheet &sheet : qAsConst(m_sheets)) {
        body.clear();
        u32(body, 0); // stream position of the sheet's BOF, filled in below
        u8(body, 0);  // visible
        u8(body, 0);  // worksheet
        body.append(shortString(sheet.name));
        offsetFields.append(out.size() + 4);
        record(out, BOUNDSHEET, body);
    }

    writeSst(out, m_strings.texts(), m_cells);
    record(out, EOF_, QByteArray());

    qint64 size = out.size();
    for (const Sheet &sheet : qAsConst(m_sheets))
        size += sheet.body.size() + 128;
    out.reserve(int(qMin<qint64>(size, INT_MAX)));
    for (int s = 0; s < m_sheets.size(); ++s) {
        put32(out.data() + offsetFields.at(s), static_cast<quint32>(out.size()));
        const Sheet &sheet = m_sheets.at(s);
        out.append(sheetHead(sheet.rows, sheet.width));
        out.append(sheet.body);
        out.append(sheetTail(s == 0));
    }
    if (out.size() < MinStreamSize)
        out.append(QByteArray(MinStreamSize - out.size(), '\0'));
    *stream = out;
    return true;
}

bool HBiff8Writer::commit()
{
    if (m_done)
        return fail(QStringLiteral("the workbook was written already"));
    QByteArray stream;
    if (!workbookStream(&stream))
        return false;
    m_done = true;
    // The sheets' records are in the stream now.
    m_sheets.clear();
    m_strings = HTextIndex();

    static std::once_flag initialised;
    std::call_once(initialised, [] { gsf_init(); });

    // The container is built in memory; only HSafeFile touches the disk, with every write
    // checked.
    GsfOutput *sink = gsf_output_memory_new();
    GsfOutfile *container = gsf_outfile_msole_new(sink);
    GsfOutput *child = gsf_outfile_new_child(container, "Workbook", FALSE);
    bool ok = child != nullptr;
    if (child) {
        ok = gsf_output_write(child, static_cast<size_t>(stream.size()),
                              reinterpret_cast<const guint8 *>(stream.constData())) != FALSE;
        ok = gsf_output_close(child) != FALSE && ok;
        g_object_unref(child);
    }
    stream.clear();
    ok = gsf_output_close(GSF_OUTPUT(container)) != FALSE && ok;
    const gsf_off_t size = gsf_output_size(sink);
    const guint8 *bytes = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink));
    if (!ok || !bytes || size <= 0 || size > INT_MAX) {
        g_object_unref(container);
        g_object_unref(sink);
        return fail(QStringLiteral("the .xls container could not be built"));
    }
    HSafeFile file(m_path);
    ok = file.open() &&
         file.write(QByteArray::fromRawData(reinterpret_cast<const char *>(bytes), int(size))) &&
         file.commit();
    g_object_unref(container);
    g_object_unref(sink);
    if (!ok)
        return fail(file.errorString());
    return true;
}
