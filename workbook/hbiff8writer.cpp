#include "hbiff8writer.h"

#include <QFile>
#include <QHash>

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-utils.h>

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

void u8(QByteArray &out, quint8 v)
{
    out.append(static_cast<char>(v));
}

void u16(QByteArray &out, quint16 v)
{
    out.append(static_cast<char>(v & 0xFF));
    out.append(static_cast<char>(v >> 8));
}

void u32(QByteArray &out, quint32 v)
{
    u16(out, static_cast<quint16>(v & 0xFFFF));
    u16(out, static_cast<quint16>(v >> 16));
}

void patchU32(QByteArray &out, int at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

void record(QByteArray &stream, quint16 type, const QByteArray &body)
{
    u16(stream, type);
    u16(stream, static_cast<quint16>(body.size()));
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
    for (int i = from; i < from + count; ++i) {
        const ushort ch = text.at(i).unicode();
        if (wide)
            u16(out, ch);
        else
            u8(out, static_cast<quint8>(ch));
    }
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

QByteArray sheetStream(const HWorkbookSheet &sheet, const QHash<QString, int> &index, bool first)
{
    QByteArray stream;
    record(stream, BOF, bof(0x0010));

    int width = 0;
    for (const QStringList &row : sheet.rows)
        width = qMax(width, static_cast<int>(row.size()));
    QByteArray body;
    u32(body, 0);
    u32(body, width ? static_cast<quint32>(sheet.rows.size()) : 0);
    u16(body, 0);
    u16(body, static_cast<quint16>(width));
    u16(body, 0);
    record(stream, DIMENSIONS, body);

    body.clear();
    u16(body, 0x04C1);
    record(stream, WSBOOL, body);

    // Rows go in blocks of 32: the ROW records of the block, then its cells.
    for (int blockStart = 0; blockStart < sheet.rows.size(); blockStart += 32) {
        const int blockEnd = qMin(blockStart + 32, static_cast<int>(sheet.rows.size()));
        for (int r = blockStart; r < blockEnd; ++r) {
            const QStringList &row = sheet.rows.at(r);
            int firstColumn = -1;
            int lastColumn = -1;
            for (int c = 0; c < row.size(); ++c) {
                if (row.at(c).isEmpty())
                    continue;
                if (firstColumn < 0)
                    firstColumn = c;
                lastColumn = c;
            }
            if (firstColumn < 0)
                continue;
            body.clear();
            u16(body, static_cast<quint16>(r));
            u16(body, static_cast<quint16>(firstColumn));
            u16(body, static_cast<quint16>(lastColumn + 1));
            u16(body, 0x00FF); // default height
            u16(body, 0);
            u16(body, 0);
            u16(body, 0x0100);
            u16(body, CellXf);
            record(stream, ROW, body);
        }
        for (int r = blockStart; r < blockEnd; ++r) {
            const QStringList &row = sheet.rows.at(r);
            for (int c = 0; c < row.size(); ++c) {
                if (row.at(c).isEmpty())
                    continue;
                body.clear();
                u16(body, static_cast<quint16>(r));
                u16(body, static_cast<quint16>(c));
                u16(body, CellXf);
                u32(body, static_cast<quint32>(index.value(row.at(c))));
                record(stream, LABELSST, body);
            }
        }
    }

    body.clear();
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

bool checkSheet(const HWorkbookSheet &sheet, QString *error)
{
    static const QString forbidden = QStringLiteral("[]:*?/\\");
    if (sheet.name.isEmpty() || sheet.name.size() > 31) {
        *error = QStringLiteral("\"%1\" cannot be the name of an .xls sheet (1 to 31 characters)")
                     .arg(sheet.name);
        return false;
    }
    for (const QChar ch : sheet.name) {
        if (forbidden.contains(ch)) {
            *error = QStringLiteral("\"%1\" cannot be the name of an .xls sheet (it holds \"%2\")")
                         .arg(sheet.name, ch);
            return false;
        }
    }
    if (sheet.rows.size() > HBiff8Writer::MaxRows) {
        *error = QStringLiteral("sheet \"%1\" has %2 rows, but an .xls sheet holds at most %3 "
                                "rows (save as .xlsx instead)")
                     .arg(sheet.name)
                     .arg(sheet.rows.size())
                     .arg(HBiff8Writer::MaxRows);
        return false;
    }
    for (int r = 0; r < sheet.rows.size(); ++r) {
        const QStringList &row = sheet.rows.at(r);
        int width = row.size();
        while (width > 0 && row.at(width - 1).isEmpty())
            --width;
        if (width > HBiff8Writer::MaxColumns) {
            *error = QStringLiteral("sheet \"%1\" has %2 columns, but an .xls sheet holds at most "
                                    "%3 columns")
                         .arg(sheet.name)
                         .arg(width)
                         .arg(HBiff8Writer::MaxColumns);
            return false;
        }
        for (int c = 0; c < width; ++c) {
            if (row.at(c).size() > HBiff8Writer::MaxTextLength) {
                *error =
                    QStringLiteral("sheet \"%1\", row %2, column %3: the text has %4 "
                                   "characters, but an .xls cell holds at most %5 (save as .xlsx "
                                   "instead)")
                        .arg(sheet.name)
                        .arg(r + 1)
                        .arg(c + 1)
                        .arg(row.at(c).size())
                        .arg(HBiff8Writer::MaxTextLength);
                return false;
            }
        }
    }
    return true;
}

} // namespace

bool HBiff8Writer::workbookStream(const QVector<HWorkbookSheet> &sheets, QByteArray *stream,
                                  QString *error)
{
    if (sheets.isEmpty()) {
        *error = QStringLiteral("a workbook needs at least one sheet");
        return false;
    }
    for (const HWorkbookSheet &sheet : sheets) {
        if (!checkSheet(sheet, error))
            return false;
    }
    QVector<HWorkbookSheet> trimmed = sheets;
    for (HWorkbookSheet &sheet : trimmed) {
        for (QStringList &row : sheet.rows) {
            while (!row.isEmpty() && row.last().isEmpty())
                row.removeLast();
        }
    }

    QHash<QString, int> index;
    QVector<QString> strings;
    quint32 total = 0;
    for (const HWorkbookSheet &sheet : qAsConst(trimmed)) {
        for (const QStringList &row : sheet.rows) {
            for (const QString &cell : row) {
                if (cell.isEmpty())
                    continue;
                ++total;
                if (!index.contains(cell)) {
                    index.insert(cell, strings.size());
                    strings.append(cell);
                }
            }
        }
    }

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

    QVector<int> sheetOffsetFields;
    for (const HWorkbookSheet &sheet : qAsConst(trimmed)) {
        body.clear();
        u32(body, 0); // stream position of the sheet's BOF, patched below
        u8(body, 0);  // visible
        u8(body, 0);  // worksheet
        body.append(shortString(sheet.name));
        sheetOffsetFields.append(out.size() + 4);
        record(out, BOUNDSHEET, body);
    }

    writeSst(out, strings, total);
    record(out, EOF_, QByteArray());

    for (int s = 0; s < trimmed.size(); ++s) {
        patchU32(out, sheetOffsetFields.at(s), static_cast<quint32>(out.size()));
        out.append(sheetStream(trimmed.at(s), index, s == 0));
    }
    if (out.size() < MinStreamSize)
        out.append(QByteArray(MinStreamSize - out.size(), '\0'));
    *stream = out;
    return true;
}

bool HBiff8Writer::write(const QString &path, const QVector<HWorkbookSheet> &sheets, QString *error)
{
    QByteArray stream;
    if (!workbookStream(sheets, &stream, error))
        return false;

    static std::once_flag initialised;
    std::call_once(initialised, [] { gsf_init(); });

    GError *gerror = nullptr;
    GsfOutput *sink = gsf_output_stdio_new(QFile::encodeName(path).constData(), &gerror);
    if (!sink) {
        *error = QStringLiteral("the file cannot be created: %1")
                     .arg(gerror ? QString::fromUtf8(gerror->message) : QString());
        if (gerror)
            g_error_free(gerror);
        return false;
    }
    GsfOutfile *container = gsf_outfile_msole_new(sink);
    g_object_unref(sink);
    GsfOutput *child = gsf_outfile_new_child(container, "Workbook", FALSE);
    bool ok = child != nullptr;
    if (child) {
        ok = gsf_output_write(child, static_cast<size_t>(stream.size()),
                              reinterpret_cast<const guint8 *>(stream.constData())) != FALSE;
        ok = gsf_output_close(child) != FALSE && ok;
        g_object_unref(child);
    }
    GsfOutput *containerOutput = GSF_OUTPUT(container);
    const bool closed = gsf_output_close(containerOutput) != FALSE;
    QString detail;
    if (const GError *e = gsf_output_error(containerOutput))
        detail = QString::fromUtf8(e->message);
    g_object_unref(container);
    if (!ok || !closed) {
        *error = QStringLiteral("the .xls file could not be written%1")
                     .arg(detail.isEmpty() ? QString() : QStringLiteral(": ") + detail);
        return false;
    }
    return true;
}
