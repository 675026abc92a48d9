#pragma once

#include <QDialog>

#include <memory>

class HProductDataCheck;
class QLabel;
class QPushButton;
class QTreeWidget;

// "Check product data": lists the references of the product data that point at nothing
// (HProductDataCheck), grouped by table with their counts, and removes them after a
// question that says how many rows go.
class HProductDataCheckDialog : public QDialog
{
    Q_OBJECT

public:
    explicit HProductDataCheckDialog(QWidget *parent = nullptr);
    ~HProductDataCheckDialog() override;

    // Checks the shared product database and shows the result, modally.
    static void run(QWidget *parent);

private slots:
    void on_pushButton_remove_clicked();

private:
    // Checks again and shows what was found.
    void refresh();

    // What the list shows; a removal changes exactly these rows or nothing.
    std::unique_ptr<HProductDataCheck> m_check;
    QLabel *m_summary = nullptr;
    QTreeWidget *m_tree = nullptr;
    QPushButton *m_remove = nullptr;
};
