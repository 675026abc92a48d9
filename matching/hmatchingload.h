#pragma once

#include <QSqlQuery>
#include <QString>
#include <QStringList>

#include <functional>

class HDatabase;
class QLabel;
class QLayout;
class QWidget;

// The reads of one matching tab while it loads. A statement that fails, when it runs or
// while its rows are read, is noted with the table it reads: a tab that could not read
// everything lacks rows its tables hold, so it must not write to them.
class HMatchingLoad
{
public:
    using Row = std::function<void(const QSqlQuery &)>;

    explicit HMatchingLoad(HDatabase *db)
        : m_db(db)
    {}

    HDatabase *db() const { return m_db; }

    // Runs the statement and hands each row to `row`. False when the statement failed or a
    // row could not be read; the failure is noted against `table`.
    bool read(const QString &table, const QString &sql, const Row &row);
    // The same without noting anything: false with the database's error text in *error.
    bool tryRead(const QString &sql, const Row &row, QString *error);
    void fail(const QString &table, const QString &error);

    bool failed() const { return !m_failures.isEmpty(); }
    // One line per failure: the table, then the database's error text.
    const QStringList &failures() const { return m_failures; }

    // Lays the tab out as its columns under a notice (object name "label_loadError"), which
    // stays hidden until showFailures() has something to say.
    static QLabel *installNotice(QWidget *tab, QLayout *columns);
    static void showFailures(QLabel *notice, const QStringList &failures);

private:
    HDatabase *m_db;
    QStringList m_failures;
};
