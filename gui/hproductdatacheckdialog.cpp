#include "hproductdatacheckdialog.h"

#include "hsaveround.h"

#include "hdbfind.h"
#include "hmessagebox.h"
#include "hproductdatacheck.h"
#include "translatestring.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

HProductDataCheckDialog::HProductDataCheckDialog(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("HProductDataCheckDialog"));
    setWindowTitle(TranslateString(QStringLiteral("Check product data")));
    resize(760, 520);

    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("label_summary"));
    m_summary->setWordWrap(true);
    m_summary->setTextFormat(Qt::PlainText);

    m_tree = new QTreeWidget(this);
    m_tree->setObjectName(QStringLiteral("treeWidget_dangling"));
    m_tree->setHeaderHidden(true);
    m_tree->setColumnCount(1);
    m_tree->setUniformRowHeights(true);

    auto *buttons = new QDialogButtonBox(this);
    m_remove = buttons->addButton(TranslateString(QStringLiteral("Remove...")),
                                  QDialogButtonBox::ActionRole);
    m_remove->setObjectName(QStringLiteral("pushButton_remove"));
    QPushButton *close = buttons->addButton(QDialogButtonBox::Close);
    close->setObjectName(QStringLiteral("pushButton_close"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addWidget(m_summary);
    layout->addWidget(m_tree, 1);
    layout->addWidget(buttons);

    QMetaObject::connectSlotsByName(this);
    refresh();
}

HProductDataCheckDialog::~HProductDataCheckDialog() = default;

void HProductDataCheckDialog::run(QWidget *parent)
{
    HProductDataCheckDialog dialog(parent);
    dialog.exec();
}

void HProductDataCheckDialog::refresh()
{
    m_tree->clear();
    m_check = std::make_unique<HProductDataCheck>(HDbFind::getDb());
    const HProductDataCheck &check = *m_check;
    if (!m_check->run()) {
        m_summary->setText(TranslateString(QStringLiteral("The product data cannot be checked:")) +
                           QLatin1Char(' ') + check.errorString());
        m_remove->setEnabled(false);
        return;
    }
    for (const HProductDataCheck::Group &group : check.groups()) {
        auto *item = new QTreeWidgetItem(
            m_tree, {QStringLiteral("%1 (%2)").arg(group.table).arg(group.rows.size())});
        for (const QString &row : group.rows)
            new QTreeWidgetItem(item, {row});
    }
    const int total = check.matchingRows() + check.ruleNames();
    m_summary->setText(
        total == 0 ? TranslateString(QStringLiteral("Every reference points at existing data."))
                   : TranslateString(QStringLiteral("%1 matching rows name a series or accessory "
                                                    "that does not exist; %2 rule names of series "
                                                    "are not in their rule table."))
                         .arg(check.matchingRows())
                         .arg(check.ruleNames()));
    m_remove->setEnabled(total > 0);
}

void HProductDataCheckDialog::on_pushButton_remove_clicked()
{
    if (!m_check || m_check->matchingRows() + m_check->ruleNames() == 0)
        return;
    const QString question =
        TranslateString(QStringLiteral("Delete %1 rows of the matching tables and clear %2 rule "
                                       "names of series? This cannot be undone."))
            .arg(m_check->matchingRows())
            .arg(m_check->ruleNames());
    if (!HMessageBox::question(this, TranslateString(QStringLiteral("Question")), question))
        return;
    if (!m_check->remove())
        HMessageBox::warning(this, TranslateString(QStringLiteral("Warning")),
                             m_check->errorString());
    else
        emit HSaveNotifier::instance()->historyStateChanged(m_check->historyWritten(),
                                                            m_check->historyError());
    refresh();
}
