#include "hmatchingload.h"

#include "hdatabase.h"
#include "translatestring.h"

#include <QLabel>
#include <QSqlError>
#include <QVBoxLayout>

namespace {

QString errorText(const QSqlError &error)
{
    const QString database = error.databaseText().trimmed();
    return database.isEmpty() ? error.driverText().trimmed() : database;
}

} // namespace

bool HMatchingLoad::read(const QString &table, const QString &sql, const Row &row)
{
    QString error;
    if (tryRead(sql, row, &error))
        return true;
    fail(table, error);
    return false;
}

bool HMatchingLoad::tryRead(const QString &sql, const Row &row, QString *error)
{
    QSqlQuery query = m_db->query(sql);
    if (!query.isActive()) {
        *error = m_db->errorString();
        return false;
    }
    while (query.next())
        row(query);
    // A damaged page shows only when the cursor reaches it: next() then stops early.
    if (query.lastError().type() != QSqlError::NoError) {
        *error = errorText(query.lastError());
        return false;
    }
    return true;
}

void HMatchingLoad::fail(const QString &table, const QString &error)
{
    m_failures.append(QStringLiteral("%1: %2").arg(table, error));
}

QLabel *HMatchingLoad::installNotice(QWidget *tab, QLayout *columns)
{
    auto *notice = new QLabel(tab);
    notice->setObjectName(QStringLiteral("label_loadError"));
    notice->setWordWrap(true);
    notice->setTextFormat(Qt::PlainText);
    notice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    notice->hide();

    // The columns' layout and its widgets move from the designer's container into one that
    // fills the tab under the notice.
    auto *holder = new QWidget(tab);
    holder->setLayout(columns);
    auto *outer = new QVBoxLayout(tab);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(notice);
    outer->addWidget(holder, 1);
    return notice;
}

void HMatchingLoad::showFailures(QLabel *notice, const QStringList &failures)
{
    if (failures.isEmpty()) {
        notice->hide();
        return;
    }
    notice->setText(TranslateString(QStringLiteral(
                        "This tab could not read the product database and is read-only: "
                        "nothing is changed or saved here.")) +
                    QLatin1Char('\n') + failures.join(QLatin1Char('\n')));
    notice->show();
}
