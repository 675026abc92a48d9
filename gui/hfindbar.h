#pragma once

#include <QLineEdit>
#include <QPointer>

#include <functional>

#include <QAbstractItemView>

// A filter box above a list or table: rows whose visible text (any column) does not contain
// what is typed are hidden, case-insensitively; an empty box shows every row. Rows are hidden
// in the view, so the model and its row numbers stay as they are. The filter is applied
// again whenever the model's rows or data change. Ctrl+F in the page focuses the box of the
// view that has the focus, or the page's first box.
class HFindBar : public QLineEdit
{
    Q_OBJECT

public:
    // Puts a new box directly above `view` in the view's layout.
    static HFindBar *attach(QAbstractItemView *view);
    // The box of a view, if it has one.
    static HFindBar *of(const QAbstractItemView *view);
    // Ctrl+F anywhere in `page` focuses the box of the view with the focus (or the first box).
    static void installShortcut(QWidget *page);

    explicit HFindBar(QAbstractItemView *view, QWidget *parent = nullptr);

    QAbstractItemView *view() const { return m_view; }
    bool matches(int row) const;
    // Rows the filter leaves shown among `rows` (for actions that must only touch what the
    // user can see).
    QList<int> shownRows(const QList<int> &rows) const;

    // Where another rule also hides rows (rows of other series, say): a row is shown only
    // when `visible(row)` is true and the row matches. The default shows every row.
    void setBaseVisibility(std::function<bool(int row)> visible);
    // Where a view hides rows its own way: called for every row with whether it is shown.
    void setRowApplier(std::function<void(int row, bool shown)> apply);

    // Call after the view is given another model.
    void followModel();

public slots:
    void apply();

signals:
    void filtered(int shown, int total);

private:
    void applyLater();

    QPointer<QAbstractItemView> m_view;
    std::function<bool(int)> m_baseVisible;
    std::function<void(int, bool)> m_apply;
    QMetaObject::Connection m_modelConnections[5];
    bool m_applyPending = false;
};
