#include "hhistorywindow.h"

#include "hauditcolumns.h"
#include "hdbfind.h"
#include "hfiledialogs.h"
#include "hmessagebox.h"
#include "honscreen.h"
#include "hworkbookwriter.h"
#include "translatestring.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <memory>

namespace {

const QString kExportPurpose = QStringLiteral("history export");

QStringList headers()
{
    QStringList texts;
    for (const char *text : {QT_TRANSLATE_NOOP("TranslateString", "Time"),
                             QT_TRANSLATE_NOOP("TranslateString", "User"),
                             QT_TRANSLATE_NOOP("TranslateString", "Host"),
                             QT_TRANSLATE_NOOP("TranslateString", "Table")})
        texts.append(TranslateString(QString::fromLatin1(text)));
    return texts + auditEntryHeaders();
}

QString timeText(const QDateTime &time)
{
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// A row's cells as the view shows them and the export writes them; a value the row did
// not have (added or removed) is an empty cell.
QStringList cells(const HAuditLog::Row &row)
{
    return {timeText(row.time),
            row.user,
            row.host,
            row.entry.table,
            row.entry.series,
            row.entry.rowKey,
            row.entry.column,
            row.entry.oldValue.toString(),
            row.entry.newValue.toString()};
}

QDateEdit *dateEdit(QWidget *parent, const char *name)
{
    auto *edit = new QDateEdit(QDate::currentDate(), parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setCalendarPopup(true);
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    edit->setEnabled(false);
    return edit;
}

} // namespace

HHistoryWindow::HHistoryWindow(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("HHistoryWindow"));
    setWindowTitle(TranslateString(QStringLiteral("History")));
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    resize(1000, 600);

    m_table = new QComboBox(this);
    m_table->setObjectName(QStringLiteral("comboBox_table"));
    m_series = new QLineEdit(this);
    m_series->setObjectName(QStringLiteral("lineEdit_series"));
    m_series->setPlaceholderText(TranslateString(QStringLiteral("part of the series name")));
    m_series->setClearButtonEnabled(true);
    m_user = new QComboBox(this);
    m_user->setObjectName(QStringLiteral("comboBox_user"));
    m_useFrom = new QCheckBox(TranslateString(QStringLiteral("From")), this);
    m_useFrom->setObjectName(QStringLiteral("checkBox_from"));
    m_useFrom->setToolTip(TranslateString(QStringLiteral("Unchecked: any date")));
    m_from = dateEdit(this, "dateEdit_from");
    m_useTo = new QCheckBox(TranslateString(QStringLiteral("To")), this);
    m_useTo->setObjectName(QStringLiteral("checkBox_to"));
    m_useTo->setToolTip(m_useFrom->toolTip());
    m_to = dateEdit(this, "dateEdit_to");

    auto *filters = new QGridLayout;
    filters->addWidget(new QLabel(TranslateString(QStringLiteral("Table")), this), 0, 0);
    filters->addWidget(m_table, 0, 1);
    filters->addWidget(new QLabel(TranslateString(QStringLiteral("Series")), this), 0, 2);
    filters->addWidget(m_series, 0, 3);
    filters->addWidget(new QLabel(TranslateString(QStringLiteral("User")), this), 0, 4);
    filters->addWidget(m_user, 0, 5);
    filters->addWidget(m_useFrom, 1, 0);
    filters->addWidget(m_from, 1, 1);
    filters->addWidget(m_useTo, 1, 2);
    filters->addWidget(m_to, 1, 3);
    filters->setColumnStretch(3, 1);

    m_view = new QTableWidget(this);
    m_view->setObjectName(QStringLiteral("tableWidget_history"));
    m_view->setColumnCount(headers().size());
    m_view->setHorizontalHeaderLabels(headers());
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->verticalHeader()->hide();
    m_view->horizontalHeader()->setStretchLastSection(true);

    m_state = new QLabel(this);
    m_state->setObjectName(QStringLiteral("label_historyState"));
    m_state->setWordWrap(true);
    m_state->setTextFormat(Qt::PlainText);

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *refreshButton = buttons->addButton(TranslateString(QStringLiteral("Refresh")),
                                                    QDialogButtonBox::ActionRole);
    refreshButton->setObjectName(QStringLiteral("pushButton_refresh"));
    refreshButton->setToolTip(TranslateString(QStringLiteral("Reads the history again")));
    m_export = buttons->addButton(TranslateString(QStringLiteral("Export...")),
                                  QDialogButtonBox::ActionRole);
    m_export->setObjectName(QStringLiteral("pushButton_export"));
    m_export->setToolTip(
        TranslateString(QStringLiteral("Writes the rows shown to an Excel workbook")));
    QPushButton *close = buttons->addButton(QDialogButtonBox::Close);
    close->setObjectName(QStringLiteral("pushButton_close"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(refreshButton, &QPushButton::clicked, this, &HHistoryWindow::refresh);
    connect(m_export, &QPushButton::clicked, this, &HHistoryWindow::exportRows);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_state);
    layout->addWidget(buttons);

    connect(m_table, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &HHistoryWindow::showRows);
    connect(m_user, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &HHistoryWindow::showRows);
    connect(m_series, &QLineEdit::textChanged, this, &HHistoryWindow::showRows);
    for (QCheckBox *use : {m_useFrom, m_useTo})
        connect(use, &QCheckBox::toggled, this, &HHistoryWindow::showRows);
    connect(m_useFrom, &QCheckBox::toggled, m_from, &QWidget::setEnabled);
    connect(m_useTo, &QCheckBox::toggled, m_to, &QWidget::setEnabled);
    for (QDateEdit *edit : {m_from, m_to})
        connect(edit, &QDateEdit::dateChanged, this, &HHistoryWindow::showRows);
    refresh();
}

HHistoryWindow *HHistoryWindow::open(QWidget *parent)
{
    HHistoryWindow *window = parent ? parent->findChild<HHistoryWindow *>() : nullptr;
    if (!window) {
        window = new HHistoryWindow(parent);
        window->setAttribute(Qt::WA_DeleteOnClose);
    } else {
        window->refresh();
    }
    HOnScreen::fit(window);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

HAuditLog::Filter HHistoryWindow::filter() const
{
    HAuditLog::Filter filter;
    filter.table = m_table->currentData().toString();
    filter.series = m_series->text().trimmed();
    filter.user = m_user->currentData().toString();
    // Whole days in local time: "to" takes in the day it names.
    if (m_useFrom->isChecked())
        filter.from = m_from->date().startOfDay();
    if (m_useTo->isChecked())
        filter.to = m_to->date().addDays(1).startOfDay();
    return filter;
}

void HHistoryWindow::fillChoices()
{
    HDatabase *db = HDbFind::getDb();
    m_filling = true;
    const struct
    {
        QComboBox *box;
        const char *column;
        const char *all;
    } combos[] = {{m_table, "table", QT_TRANSLATE_NOOP("TranslateString", "All tables")},
                  {m_user, "user", QT_TRANSLATE_NOOP("TranslateString", "All users")}};
    for (const auto &combo : combos) {
        const QString current = combo.box->currentData().toString();
        QStringList values;
        HAuditLog::distinctValues(db, QString::fromLatin1(combo.column), &values);
        combo.box->clear();
        combo.box->addItem(TranslateString(QString::fromLatin1(combo.all)), QString());
        for (const QString &value : qAsConst(values))
            combo.box->addItem(value, value);
        combo.box->setCurrentIndex(qMax(0, combo.box->findData(current)));
    }
    m_filling = false;
}

void HHistoryWindow::refresh()
{
    fillChoices();
    showRows();
}

void HHistoryWindow::showRows()
{
    if (m_filling)
        return;
    HDatabase *db = HDbFind::getDb();
    m_rows.clear();
    m_view->setRowCount(0);
    const HAuditLog::Filter current = filter();
    QString error;
    if (!HAuditLog::exists(db)) {
        m_state->setText(
            TranslateString(QStringLiteral("No history yet: it starts with the first save.")));
    } else if (!HAuditLog::read(db, current, &m_rows, &error)) {
        m_state->setText(
            TranslateString(QStringLiteral("The history cannot be read: %1")).arg(error));
    } else if (m_rows.size() >= current.limit) {
        m_state->setText(TranslateString(QStringLiteral("The newest %1 rows are shown; narrow "
                                                        "the filters to see older ones."))
                             .arg(m_rows.size()));
    } else {
        m_state->setText(m_rows.size() == 1
                             ? TranslateString(QStringLiteral("1 row"))
                             : TranslateString(QStringLiteral("%1 rows")).arg(m_rows.size()));
    }
    m_view->setRowCount(m_rows.size());
    for (int r = 0; r < m_rows.size(); ++r) {
        const QStringList texts = cells(m_rows.at(r));
        for (int c = 0; c < texts.size(); ++c)
            m_view->setItem(r, c, new QTableWidgetItem(texts.at(c)));
    }
    m_view->resizeColumnsToContents();
    m_export->setEnabled(!m_rows.isEmpty());
}

bool HHistoryWindow::exportTo(const QString &path, QString *error) const
{
    const QString sheet = TranslateString(QStringLiteral("History"));
    *error = HWorkbookWriter::rowLimitError(HWorkbook::Xlsx, sheet, qint64(m_rows.size()) + 1);
    if (!error->isEmpty())
        return false;
    const std::unique_ptr<HWorkbookWriter> writer =
        HWorkbookWriter::create(HWorkbook::Xlsx, path, m_rows.size() + 1);
    bool ok = writer->addSheet(sheet) && writer->addRow(0, headers());
    for (int r = 0; ok && r < m_rows.size(); ++r)
        ok = writer->addRow(r + 1, cells(m_rows.at(r)));
    ok = ok && writer->commit();
    if (!ok)
        *error = writer->errorString();
    return ok;
}

bool HHistoryWindow::exportRows()
{
    QString path = HFileDialogs::saveFileName(
        this, kExportPurpose, TranslateString(QStringLiteral("Export history")),
        QStringLiteral("history.xlsx"),
        TranslateString(QStringLiteral("Excel workbooks (*.xlsx)")));
    if (path.isEmpty())
        return false;
    // A name without a suffix gets one, unless that would replace a file nobody was asked
    // about.
    if (QFileInfo(path).suffix().isEmpty() && !QFileInfo::exists(path + QStringLiteral(".xlsx")))
        path += QStringLiteral(".xlsx");
    QString error;
    if (!exportTo(path, &error)) {
        HMessageBox::warning(
            this, TranslateString(QStringLiteral("Warning")),
            TranslateString(QStringLiteral("The history was not exported: %1")).arg(error));
        return false;
    }
    m_state->setText(TranslateString(QStringLiteral("%1 rows exported to %2"))
                         .arg(m_rows.size())
                         .arg(QDir::toNativeSeparators(path)));
    return true;
}
