#include "hxlsreader.h"

#include "hhelperprocess.h"
#include "hworkbook.h"
#include "hxlsprotocol.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QtEndian>

#include <cstring>

namespace {

QString g_program;
int g_timeout = 60000;

// Decodes the helper's output as it arrives and hands sheets and rows to the visitor.
class Decoder
{
public:
    explicit Decoder(HWorkbookVisitor &visitor)
        : m_visitor(visitor)
    {}

    // False when the output is not what the helper writes, or the visitor stops.
    bool feed(const QByteArray &data)
    {
        if (m_pos > 0 && m_pos >= m_buffer.size() / 2) {
            m_buffer.remove(0, m_pos);
            m_pos = 0;
        }
        m_buffer.append(data);
        for (;;) {
            const int start = m_pos;
            const Step step = next();
            if (step == Incomplete) {
                m_pos = start;
                return true;
            }
            if (step == Stop)
                return false;
        }
    }

    bool finished() const { return m_finished; }
    bool refused() const { return m_refused; }
    QString error() const { return m_error; }

private:
    enum Step { Done, Incomplete, Stop };

    bool has(int size) const { return m_buffer.size() - m_pos >= size; }
    quint32 u32()
    {
        const quint32 v = qFromLittleEndian<quint32>(m_buffer.constData() + m_pos);
        m_pos += 4;
        return v;
    }
    quint16 u16()
    {
        const quint16 v = qFromLittleEndian<quint16>(m_buffer.constData() + m_pos);
        m_pos += 2;
        return v;
    }
    Step garbage()
    {
        m_error = QStringLiteral("the .xls reader's answer is garbled");
        return Stop;
    }
    // A sized UTF-8 text (skipped when `out` is null); Incomplete until all of it is there.
    Step text(QString *out)
    {
        if (!has(4))
            return Incomplete;
        const quint32 size = u32();
        if (size > quint32(HXlsProtocol::MaxText))
            return garbage();
        if (!has(int(size)))
            return Incomplete;
        if (out)
            *out = QString::fromUtf8(m_buffer.constData() + m_pos, int(size));
        m_pos += int(size);
        return Done;
    }

    Step next()
    {
        if (m_finished)
            return has(1) ? garbage() : Incomplete;
        if (!m_magic) {
            if (!has(HXlsProtocol::MagicSize))
                return Incomplete;
            if (std::memcmp(m_buffer.constData(), HXlsProtocol::Magic,
                            size_t(HXlsProtocol::MagicSize)) != 0)
                return garbage();
            m_pos += HXlsProtocol::MagicSize;
            m_magic = true;
        }
        if (!has(1))
            return Incomplete;
        const char tag = m_buffer.at(m_pos++);
        switch (tag) {
        case HXlsProtocol::Sheet: {
            QString name;
            Step step = text(&name);
            if (step != Done)
                return step;
            if (!has(1))
                return Incomplete;
            const bool withRows = m_buffer.at(m_pos++) != 0;
            m_lastRow = -1;
            return m_visitor.sheet(name, withRows, &m_error) ? Done : Stop;
        }
        case HXlsProtocol::Row:
            return row();
        case HXlsProtocol::Done:
            m_finished = true;
            return Done;
        case HXlsProtocol::Failed: {
            const Step step = text(&m_error);
            if (step != Done)
                return step;
            m_finished = true;
            m_refused = true;
            return Done;
        }
        default:
            return garbage();
        }
    }

    Step row()
    {
        if (!has(4))
            return Incomplete;
        const quint32 index = u32();
        if (index >= quint32(HWorkbookReader::MaxRows) || int(index) <= m_lastRow)
            return garbage();
        m_row.index = int(index);
        m_row.cells.clear();
        for (;;) {
            if (!has(2))
                return Incomplete;
            const quint16 column = u16();
            if (column == HXlsProtocol::EndOfRow)
                break;
            if (column >= HWorkbookReader::MaxColumns || !has(1))
                return column >= HWorkbookReader::MaxColumns ? garbage() : Incomplete;
            const char kind = m_buffer.at(m_pos++);
            const bool wanted = m_visitor.wants(column);
            QString value;
            if (kind == HXlsProtocol::Text) {
                const Step step = text(wanted ? &value : nullptr);
                if (step != Done)
                    return step;
            } else if (kind == HXlsProtocol::Number) {
                if (!has(8))
                    return Incomplete;
                const quint64 bits = qFromLittleEndian<quint64>(m_buffer.constData() + m_pos);
                m_pos += 8;
                double number = 0;
                std::memcpy(&number, &bits, 8);
                if (wanted)
                    value = HWorkbook::numberText(number);
            } else if (kind == HXlsProtocol::Integer) {
                if (!has(4))
                    return Incomplete;
                const qint32 number = qint32(u32());
                if (wanted)
                    value = QString::number(number);
            } else {
                return garbage();
            }
            if (value.isEmpty())
                continue;
            if (m_row.cells.size() <= column)
                m_row.cells.resize(column + 1);
            m_row.cells[column] = value;
        }
        m_lastRow = m_row.index;
        if (m_row.cells.isEmpty())
            return Done;
        return m_visitor.row(m_row, &m_error) ? Done : Stop;
    }

    HWorkbookVisitor &m_visitor;
    QByteArray m_buffer;
    int m_pos = 0;
    bool m_magic = false;
    bool m_finished = false;
    bool m_refused = false;
    int m_lastRow = -1;
    HWorkbookRow m_row;
    QString m_error;
};

} // namespace

QString HXlsReader::helperProgram()
{
    if (!g_program.isEmpty())
        return g_program;
#ifdef Q_OS_WIN
    return QCoreApplication::applicationDirPath() + QStringLiteral("/product-xlsread.exe");
#else
    return QCoreApplication::applicationDirPath() + QStringLiteral("/product-xlsread");
#endif
}

void HXlsReader::setHelperProgram(const QString &program)
{
    g_program = program;
}

void HXlsReader::setTimeout(int milliseconds)
{
    g_timeout = milliseconds;
}

bool HXlsReader::read(const QString &path, HWorkbookVisitor &visitor, const QString &onlySheet,
                      QString *error)
{
    const QString program = helperProgram();
    if (!QFileInfo(program).isExecutable()) {
        *error = QStringLiteral("the .xls reader %1 is missing; it belongs beside the program")
                     .arg(QDir::toNativeSeparators(program));
        return false;
    }
    QStringList arguments;
    if (!onlySheet.isEmpty())
        arguments << QStringLiteral("--sheet") << onlySheet;
    arguments << QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    HHelperProcess helper;
    QString why;
    if (!helper.start(program, arguments, &why)) {
        *error = QStringLiteral("the .xls reader %1 cannot be started: %2")
                     .arg(QDir::toNativeSeparators(program), why);
        return false;
    }

    Decoder decoder(visitor);
    const QDeadlineTimer deadline(g_timeout);
    const auto slice = [&deadline] {
        return int(qBound<qint64>(1, deadline.remainingTime(), 1000));
    };
    bool closed = false;
    bool ended = false;
    while (!ended && !deadline.hasExpired()) {
        if (!closed) {
            const QByteArray chunk = helper.read(slice(), &closed);
            if (!chunk.isEmpty() && !decoder.feed(chunk)) {
                helper.kill();
                *error = decoder.error();
                return false;
            }
        } else {
            ended = helper.waitForEnd(slice());
        }
    }
    if (!ended) {
        helper.kill();
        *error = QStringLiteral("reading the .xls workbook did not finish within %1 s (the "
                                "file is probably damaged)")
                     .arg(g_timeout / 1000.0);
        return false;
    }
    if (helper.crashed() || !decoder.finished()) {
        *error =
            QStringLiteral("the .xls reader stopped before the end of the workbook (%1); "
                           "the file is probably damaged")
                .arg(helper.crashed() ? QStringLiteral("it crashed")
                                      : QStringLiteral("exit status %1").arg(helper.exitCode()));
        return false;
    }
    if (decoder.refused()) {
        *error = decoder.error();
        return false;
    }
    return true;
}
