#include "hselectrulenamewidget.h"
#include "ui_hselectrulenamewidget.h"

#include "hdbfind.h"
#include "htablewidget.h"

#include <QDebug>
#include <QItemSelectionModel>
#include <QStringListModel>

HSelectRuleNameWidget::HSelectRuleNameWidget(QString tableName, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::HSelectRuleNameWidget)
    , m_tableName(tableName)
{
    ui->setupUi(this);

    ui->listView->setEditTriggers(QAbstractItemView::NoEditTriggers);

    // The layout moves from the form's inner widget to the dialog, so that the list and the
    // buttons fill it.
    ui->verticalLayout->setContentsMargins(10, 10, 10, 10);
    setLayout(ui->verticalLayout);

    loadRuleNames();

    connect(ui->listView, &QListView::doubleClicked, this, &HSelectRuleNameWidget::Select);

    setWindowTitle(QStringLiteral("Select rule name from table [%1]").arg(m_tableName));
}

HSelectRuleNameWidget::~HSelectRuleNameWidget()
{
    // Editor windows still open go with this dialog; they must not call back into it.
    const auto editors = findChildren<HTableWidget *>(QString(), Qt::FindDirectChildrenOnly);
    for (HTableWidget *editor : editors)
        disconnect(editor, nullptr, this, nullptr);
    delete ui;
}

void HSelectRuleNameWidget::loadRuleNames()
{
    const QStringList names =
        HDbFind::getTableColumns(m_tableName, QStringLiteral("rule_name"), QString(), true);
    QItemSelectionModel *oldSelection = ui->listView->selectionModel();
    QAbstractItemModel *oldModel = ui->listView->model();
    ui->listView->setModel(new QStringListModel(names, this));
    delete oldSelection;
    delete oldModel;
}

void HSelectRuleNameWidget::Select(QModelIndex idx)
{
    if (idx.row() < 0)
        return;
    m_selectedRuleName = idx.data(Qt::DisplayRole).toString();
    qDebug().noquote() << "selected rule name:" << m_selectedRuleName;
}

void HSelectRuleNameWidget::on_buttonBox_accepted()
{
    // Only an item the user chose counts: the view makes the first item current without
    // selecting it when it gets the focus, and OK must not pick that one silently.
    const QModelIndex current = ui->listView->currentIndex();
    if (current.isValid() && ui->listView->selectionModel()->isSelected(current))
        Select(current);
}

void HSelectRuleNameWidget::on_pushButton_del_clicked()
{
    m_selectedRuleName.clear();
    accept();
}

void HSelectRuleNameWidget::on_pushButton_edit_clicked()
{
    auto *editor = new HTableWidget(m_tableName, this);
    // Closed editor windows are deleted rather than kept hidden until the dialog goes, and
    // the names are read again then, so that rows added in the editor can be picked at once.
    editor->setAttribute(Qt::WA_DeleteOnClose);
    connect(editor, &QObject::destroyed, this, &HSelectRuleNameWidget::loadRuleNames);
    editor->setWindowModality(Qt::ApplicationModal);
    editor->show();
}
