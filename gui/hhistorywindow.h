#pragma once

#include "hauditlog.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

// "History": the rows the saves wrote to the history table, newest first, narrowed by
// table, series, user and date; "Export..." writes exactly the rows shown to an .xlsx file.
// A window beside the main one (not modal), so that the history can stay open while editing.
class HHistoryWindow : public QDialog
{
    Q_OBJECT

public:
    explicit HHistoryWindow(QWidget *parent = nullptr);

    // Shows the history window of `parent`, made on the first call, read afresh.
    static HHistoryWindow *open(QWidget *parent);

    // The rows shown now, as read.
    const QVector<HAuditLog::Row> &rows() const { return m_rows; }
    HAuditLog::Filter filter() const;

public slots:
    // Reads the table again: the filters' choices and the rows they select.
    void refresh();
    // Asks for a file and writes the rows shown; true when written.
    bool exportRows();
    // Writes the rows shown to `path` (.xlsx); false with the reason in *error.
    bool exportTo(const QString &path, QString *error) const;

private:
    void fillChoices();
    void showRows();

    QComboBox *m_table = nullptr;
    QLineEdit *m_series = nullptr;
    QComboBox *m_user = nullptr;
    QCheckBox *m_useFrom = nullptr;
    QCheckBox *m_useTo = nullptr;
    QDateEdit *m_from = nullptr;
    QDateEdit *m_to = nullptr;
    QTableWidget *m_view = nullptr;
    QLabel *m_state = nullptr;
    QPushButton *m_export = nullptr;
    QVector<HAuditLog::Row> m_rows;
    bool m_filling = false;
};
