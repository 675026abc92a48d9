#pragma once

#include <QPointer>
#include <QProgressDialog>
#include <QString>

class QProgressDialog;
class QWidget;

// Progress of long work on the GUI thread. The window appears only when the work has taken
// about a second, so quick work shows nothing. setValue() lets the window paint and see the
// Cancel button; work that cannot stop halfway without leaving something half-written is
// made not cancellable, and then neither Cancel nor closing the window stops it.
//
//     HProgress progress(this, TranslateString("Reading the workbook..."), rows.size());
//     for (int i = 0; i < rows.size(); ++i) {
//         progress.setValue(i);
//         if (progress.wasCanceled())
//             return;
//         ...
//     }
class HProgress
{
public:
    HProgress(QWidget *parent, const QString &label, int maximum, bool cancellable = true);
    ~HProgress();
    HProgress(const HProgress &) = delete;
    HProgress &operator=(const HProgress &) = delete;

    void setValue(int value);
    void setLabelText(const QString &label);
    void setMaximum(int maximum);
    // Always false for work that is not cancellable.
    bool wasCanceled() const;

    QProgressDialog *dialog() const { return m_dialog; }

    // How long work runs before the window appears.
    static constexpr int kShowAfterMs = 1000;

private:
    QPointer<QProgressDialog> m_dialog;
    bool m_cancellable;
};
