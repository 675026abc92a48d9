#pragma once

#include <QDialog>
#include <QList>
#include <QPair>

class HEditorPage;

// "Changes": before a save, this user's unsaved edits of every tab, one row per value as the
// history will get it (table, series, row, column, value as loaded, new value).
class HChangesDialog : public QDialog
{
    Q_OBJECT

public:
    using Tab = QPair<QString, HEditorPage *>; // the tab's title and its page

    HChangesDialog(const QList<Tab> &tabs, QWidget *parent = nullptr);

    // Shows the edits of `tabs`, modally.
    static void run(QWidget *parent, const QList<Tab> &tabs);
};
