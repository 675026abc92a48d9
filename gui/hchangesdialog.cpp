#include "hchangesdialog.h"

#include "hauditcolumns.h"
#include "heditorpage.h"
#include "honscreen.h"
#include "translatestring.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// A value the row did not have (a row added or removed) shows as such, not as an empty text.
QString valueText(const QVariant &value)
{
    return value.isNull() ? TranslateString(QStringLiteral("(none)")) : value.toString();
}

} // namespace

HChangesDialog::HChangesDialog(const QList<Tab> &tabs, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("HChangesDialog"));
    setWindowTitle(TranslateString(QStringLiteral("Unsaved changes")));

    auto *tree = new QTreeWidget(this);
    tree->setObjectName(QStringLiteral("treeWidget_changes"));
    const QStringList headers =
        QStringList{TranslateString(QStringLiteral("Tab / table"))} + auditEntryHeaders();
    tree->setHeaderLabels(headers);
    tree->setUniformRowHeights(true);

    int total = 0;
    for (const Tab &tab : tabs) {
        const QVector<HAuditEntry> edits =
            tab.second ? tab.second->pendingEdits() : QVector<HAuditEntry>();
        if (edits.isEmpty())
            continue;
        total += edits.size();
        auto *top =
            new QTreeWidgetItem(tree, {QStringLiteral("%1 (%2)").arg(tab.first).arg(edits.size())});
        for (const HAuditEntry &edit : edits)
            new QTreeWidgetItem(top, {edit.table, edit.series, edit.rowKey, edit.column,
                                      valueText(edit.oldValue), valueText(edit.newValue)});
        top->setExpanded(true);
    }
    int width = 0;
    for (int c = 0; c < headers.size(); ++c) {
        tree->resizeColumnToContents(c);
        width += tree->columnWidth(c);
    }
    // Wide enough for every column (long pair names included); run() keeps it on screen.
    resize(qBound(900, width + 60, 1800), 500);

    auto *summary = new QLabel(this);
    summary->setObjectName(QStringLiteral("label_changes"));
    summary->setTextFormat(Qt::PlainText);
    summary->setText(
        total == 0 ? TranslateString(QStringLiteral("No unsaved changes"))
        : total == 1
            ? TranslateString(QStringLiteral("1 value changed, not saved yet"))
            : TranslateString(QStringLiteral("%1 values changed, not saved yet")).arg(total));
    tree->setVisible(total > 0);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setObjectName(QStringLiteral("pushButton_close"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(summary);
    layout->addWidget(tree, 1);
    layout->addWidget(buttons);
}

void HChangesDialog::run(QWidget *parent, const QList<Tab> &tabs)
{
    HChangesDialog dialog(tabs, parent);
    HOnScreen::fit(&dialog);
    dialog.exec();
}
