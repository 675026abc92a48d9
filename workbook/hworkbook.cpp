#include "hworkbook.h"

#include "hbiff8writer.h"
#include "hxlsreader.h"
#include "hxlsxreader.h"
#include "hxlsxwriter.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>

#include <cmath>

namespace {} // namespace

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
    m_error.clear();
    const QFileInfo info(path);
    if (!info.exists()) {
        m_error = QStringLiteral("the file does not exist");
        return false;
    }
    if (!info.isFile()) {
        m_error = QStringLiteral("not a file");
        return false;
    }
    QFile probe(path);
    if (!probe.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("the file cannot be read: %1").arg(probe.errorString());
        return false;
    }
    probe.close();
    bool ok = false;
    switch (formatOfContent(path)) {
    case Xls:
        ok = HXlsReader::read(path, &sheets, &m_error);
        break;
    case Xlsx:
        ok = HXlsxReader::read(path, &sheets, &m_error);
        break;
    case Unknown:
        m_error = QStringLiteral("the file is neither an .xls nor an .xlsx workbook");
        return false;
    }
    if (!ok)
        sheets.clear();
    return ok;
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
            present = present || sheet.name.compare(name, Qt::CaseInsensitive) == 0;
        if (!present)
            all.append(HWorkbookSheet{name, {}});
    }
    if (all.isEmpty()) {
        m_error = QStringLiteral("a workbook needs at least one sheet");
        return false;
    }

    // The writers produce a whole file in a private folder; only a complete file replaces
    // the target, in one rename.
    QTemporaryDir dir;
    if (!dir.isValid()) {
        m_error = QStringLiteral("no temporary folder: %1").arg(dir.errorString());
        return false;
    }
    const QString temp =
        dir.filePath(format == Xls ? QStringLiteral("out.xls") : QStringLiteral("out.xlsx"));
    const bool written = format == Xls ? HBiff8Writer::write(temp, all, &m_error)
                                       : HXlsxWriter::write(temp, all, &m_error);
    if (!written)
        return false;
    QFile in(temp);
    if (!in.open(QIODevice::ReadOnly)) {
        m_error =
            QStringLiteral("the written workbook cannot be read back: %1").arg(in.errorString());
        return false;
    }
    const QByteArray bytes = in.readAll();
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) {
        m_error = out.errorString();
        return false;
    }
    if (out.write(bytes) != bytes.size()) {
        m_error = out.errorString();
        out.cancelWriting();
        return false;
    }
    if (!out.commit()) {
        m_error = out.errorString();
        return false;
    }
    return true;
}

QString HWorkbook::numberText(double value)
{
    if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 1e15)
        return QString::number(static_cast<qint64>(value));
    return QString::number(value, 'g', 15);
}
