#pragma once

#include <QString>
#include <QWidget>

namespace Ui {
class HTableWidget;
}

class QSqlTableModel;

// Edits the rows of one database table through a table model on the shared connection.
// With a table name it is a tool window of its own ("Edit table [name]", OK/Cancel);
// with an empty name it is embedded in a tab, its table chosen later with setTable(), and
// its OK button saves ("Save To Database") without closing it.
// Every change stays pending in the model until it is saved in one transaction; a save that
// fails leaves every pending change in place (and the window open) for another try.
class HTableWidget : public QWidget
{
    Q_OBJECT

public:
    explicit HTableWidget(QString tableName, QWidget *parent = nullptr);
    ~HTableWidget() override;

    // Shows another table; pending changes of the previous one are dropped.
    void setTable(QString tableName);
    QString tableName() const { return m_tableName; }

private slots:
    void on_pushButton_add_clicked();
    void on_pushButton_del_clicked();
    void on_buttonBox_accepted();
    void on_buttonBox_rejected();

private:
    void buildModel();
    // Writes the pending changes in one transaction; on success the model reads the table
    // again. False with the database's error in *error, the model untouched.
    bool savePending(QString *error);

    Ui::HTableWidget *ui;
    QString m_tableName;
    QSqlTableModel *m_model = nullptr;
    bool m_embedded = false;
};
