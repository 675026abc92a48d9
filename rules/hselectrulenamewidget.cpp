#include "hselectrulenamewidget.h"
#include "ui_hselectrulenamewidget.h"

#include "hdbfind.h"
#include "hfindbar.h"
#include "htablewidget.h"
#include "translatestring.h"

#include <QDebug>
#include <QItemSelectionModel>
#include <QPushButton>
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
    HFindBar::attach(ui->listView);
    HFindBar::installShortcut(this);

    ui->buttonBox->button(QDialogButtonBox::Ok)
        ->setToolTip(TranslateString(
            QStringLiteral("Takes the chosen rule name; without a choice the current one stays")));
    ui->buttonBox->button(QDialogButtonBox::Cancel)
        ->setToolTip(TranslateString(QStringLiteral("Closes without changing the rule")));
    ui->pushButton_del->setToolTip(
        TranslateString(QStringLiteral("Clears the rule: the series then names no rule")));
    ui->pushButton_edit->setToolTip(
        TranslateString(QStringLiteral("Opens the rule table to add or change rules")));

    loadRuleNames();

    connect(ui->listView, &QListView::doubleClicked, this, &HSelectRuleNameWidget::Select);

    setWindowTitle(
        TranslateString(QStringLiteral("Select rule name from table [%1]")).arg(m_tableName));
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
    // What the user had chosen stays chosen when the list is read again.
    const QModelIndex chosen = ui->listView->currentIndex();
    const QString keep = chosen.isValid() && ui->listView->selectionModel()->isSelected(chosen)
                             ? chosen.data().toString()
                             : m_currentRuleName;
    QItemSelectionModel *oldSelection = ui->listView->selectionModel();
    QAbstractItemModel *oldModel = ui->listView->model();
    ui->listView->setModel(new QStringListModel(names, this));
    delete oldSelection;
    delete oldModel;
    if (HFindBar *find = HFindBar::of(ui->listView))
        find->followModel();
    selectName(keep);
}

void HSelectRuleNameWidget::setCurrentRuleName(const QString &name)
{
    m_currentRuleName = name;
    m_selectedRuleName = name;
    selectName(name);
}

void HSelectRuleNameWidget::selectName(const QString &name)
{
    const QModelIndexList found = ui->listView->model()->match(
        ui->listView->model()->index(0, 0), Qt::DisplayRole, name, 1, Qt::MatchExactly);
    if (name.isEmpty() || found.isEmpty())
        return;
    ui->listView->selectionModel()->setCurrentIndex(found.constFirst(),
                                                    QItemSelectionModel::ClearAndSelect);
    ui->listView->scrollTo(found.constFirst());
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
    // Only a name the user chose and can see counts: the view makes the first item current
    // without selecting it when it gets the focus, and a name the filter hides is not what
    // the user looks at. Otherwise the series keeps its rule; "Empty" is how to clear it.
    const QModelIndex current = ui->listView->currentIndex();
    HFindBar *find = HFindBar::of(ui->listView);
    if (current.isValid() && ui->listView->selectionModel()->isSelected(current) &&
        !ui->listView->isRowHidden(current.row()) && (!find || find->matches(current.row())))
        Select(current);
    else
        m_selectedRuleName = m_currentRuleName;
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
