#include "heditallruletablewidget.h"
#include "ui_heditallruletablewidget.h"

#include "hproductschema.h"
#include "hsaveround.h"
#include "htablewidget.h"

#include <QVBoxLayout>

HEditAllRuleTableWidget::HEditAllRuleTableWidget(QWidget *parent)
    : HEditorPage(parent)
    , ui(new Ui::HEditAllRuleTableWidget)
{
    ui->setupUi(this);

    m_tableWidget = new HTableWidget(QString(), this);

    auto *layout = new QVBoxLayout;
    layout->addWidget(ui->comboBox);
    layout->addWidget(m_tableWidget);
    m_tableWidget->show();
    setLayout(layout);

    for (const HProductSchema::RuleTable &rule : HProductSchema::ruleTables())
        m_ruleTables.insert(rule.displayName, rule.table);

    // The combo box is empty until here, so the first name becomes current and its table
    // is loaded through the slot.
    const QStringList names = m_ruleTables.keys();
    ui->comboBox->addItems(names);
    if (!names.isEmpty())
        ui->comboBox->setCurrentIndex(0);

    QStringList tables;
    for (const HProductSchema::RuleTable &rule : HProductSchema::ruleTables())
        tables.append(rule.table);
    QList<QWidget *> writers;
    for (const char *name : {"tableView", "pushButton_add", "pushButton_del", "buttonBox"})
        writers.append(m_tableWidget->findChild<QWidget *>(QLatin1String(name)));
    writers.removeAll(nullptr);
    checkWritable(tables, writers);
}

HEditAllRuleTableWidget::~HEditAllRuleTableWidget()
{
    delete ui;
}

void HEditAllRuleTableWidget::save()
{
    HSaveRound::report(this, HSaveOutcome());
}

void HEditAllRuleTableWidget::on_comboBox_currentIndexChanged(int index)
{
    Q_UNUSED(index)
    const QString table = m_ruleTables.value(ui->comboBox->currentText()).toString();
    if (!table.isEmpty())
        m_tableWidget->setTable(table);
}
