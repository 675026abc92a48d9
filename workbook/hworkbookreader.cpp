#include "hworkbookreader.h"

#include "hworkbook.h"
#include "hxlsreader.h"
#include "hxlsxreader.h"

#include <QFile>
#include <QFileInfo>

bool HWorkbookVisitor::sheet(const QString &, bool, QString *)
{
    return true;
}

void HWorkbookVisitor::setWantedColumns(const QVector<int> &columns)
{
    m_wanted.clear();
    for (int column : columns) {
        if (column >= m_wanted.size())
            m_wanted.resize(column + 1);
        m_wanted[column] = true;
    }
}

bool HWorkbookReader::read(const QString &path, HWorkbookVisitor &visitor, QString *error,
                           const QString &onlySheet)
{
    error->clear();
    const QFileInfo info(path);
    if (!info.exists()) {
        *error = QStringLiteral("the file does not exist");
        return false;
    }
    if (!info.isFile()) {
        *error = QStringLiteral("not a file");
        return false;
    }
    QFile probe(path);
    if (!probe.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("the file cannot be read: %1").arg(probe.errorString());
        return false;
    }
    probe.close();
    switch (HWorkbook::formatOfContent(path)) {
    case HWorkbook::Xls:
        return HXlsReader::read(path, visitor, onlySheet, error);
    case HWorkbook::Xlsx:
        return HXlsxReader::read(path, visitor, onlySheet, error);
    case HWorkbook::Unknown:
        break;
    }
    *error = QStringLiteral("the file is neither an .xls nor an .xlsx workbook");
    return false;
}
