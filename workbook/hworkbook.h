#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// One sheet of a workbook as plain texts: rows of cells, the first row being the header.
// An empty text is an empty cell; rows may be shorter than the widest row.
struct HWorkbookSheet
{
    QString name;
    QVector<QStringList> rows;
};

// A workbook held in memory, read and written through HWorkbookReader and HWorkbookWriter;
// and what the formats share.
class HWorkbook
{
public:
    enum Format { Unknown, Xls, Xlsx };

    // What the file holds, by its first bytes (an OLE2 container or a zip archive).
    static Format formatOfContent(const QString &path);
    // What the file name asks for, by its extension (case-insensitive).
    static Format formatOfName(const QString &path);

    // Reads every sheet; the format is taken from the content, not from the name, so that a
    // copy of an .xls template saved under an .xlsx name still opens.
    bool read(const QString &path);
    // Writes every sheet in the given format and replaces the file only with a complete,
    // checked workbook: when anything fails the previous file is left as it was.
    bool write(const QString &path, Format format);

    QVector<HWorkbookSheet> sheets;
    // Sheets without any cell; written back as empty sheets in their places.
    QStringList emptySheets;

    QString errorString() const { return m_error; }

    // A number as a spreadsheet user typed it: integers without ".0", others with up to 15
    // significant digits (what the cell shows).
    static QString numberText(double value);
    // Sheet names compared as the spreadsheet programs do for ASCII letters: without case.
    static bool sameSheetName(const QString &a, const QString &b);
    // "A" for column 0, "AMJ" for column 1023.
    static QString columnName(int column);
    // .xlsx cell texts write characters XML cannot hold as "_xHHHH_", and a literal text
    // that would read as such an escape with its "_" escaped ("_x005F_").
    static QString decodeEscapes(const QString &text);
    static QString encodeEscapes(const QString &text);

private:
    QString m_error;
};
