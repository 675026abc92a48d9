#include "heditallruletablewidget.h"
#include "ui_heditallruletablewidget.h"

#include "hfindbar.h"
#include "hproductschema.h"
#include "hsaveround.h"
#include "htablewidget.h"
#include "translatestring.h"

#include <QSignalBlocker>
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
    ui->comboBox->setToolTip(TranslateString(QStringLiteral("The rule table to edit")));
    HFindBar::installShortcut(this);
    connect(m_tableWidget, &HTableWidget::saveRequested, this, &HEditAllRuleTableWidget::save);
    connect(m_tableWidget, &HTableWidget::changed, this, [this] {
        setModified(m_tableWidget->isModified());
        emit statusTextChanged();
    });

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

void HEditAllRuleTableWidget::discardChanges()
{
    m_tableWidget->revertPending();
}

QString HEditAllRuleTableWidget::statusText() const
{
    if (m_shownIndex < 0)
        return QString();
    return TranslateString(QStringLiteral("%1: %2 rows"))
        .arg(ui->comboBox->itemText(m_shownIndex))
        .arg(m_tableWidget->rowCount());
}

QVector<HAuditEntry> HEditAllRuleTableWidget::pendingEdits() const
{
    return m_tableWidget->pendingEdits();
}

void HEditAllRuleTableWidget::save()
{
    runSave([this](bool overwrite) { return HSaveOutcome(m_tableWidget->savePending(overwrite)); });
}

void HEditAllRuleTableWidget::reloadKeepingEdits(const QVector<HConflict> &conflicts)
{
    Q_UNUSED(conflicts) // the editor knows which of its edits were in the way
    m_tableWidget->reloadKeepingEdits();
}

void HEditAllRuleTableWidget::on_comboBox_currentIndexChanged(int index)
{
    if (index == m_shownIndex)
        return;
    // The editor still shows the previous table: Save writes that one.
    if (m_shownIndex >= 0 &&
        !confirmDiscard(TranslateString(QStringLiteral("Another table is about to be shown.")))) {
        const QSignalBlocker blocker(ui->comboBox);
        ui->comboBox->setCurrentIndex(m_shownIndex);
        return;
    }
    const QString table = m_ruleTables.value(ui->comboBox->currentText()).toString();
    if (table.isEmpty())
        return;
    m_shownIndex = index;
    m_tableWidget->setTable(table);
}
