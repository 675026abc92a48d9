#include "hprogress.h"

#include "translatestring.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QProgressDialog>

namespace {

// A progress window that ignores Escape and the close button when the work may not stop.
class ProgressDialog : public QProgressDialog
{
public:
    ProgressDialog(QWidget *parent, bool cancellable)
        : QProgressDialog(parent)
        , m_cancellable(cancellable)
    {}

protected:
    void closeEvent(QCloseEvent *event) override
    {
        if (m_cancellable)
            QProgressDialog::closeEvent(event);
        else
            event->ignore();
    }
    void keyPressEvent(QKeyEvent *event) override
    {
        if (!m_cancellable && event->key() == Qt::Key_Escape)
            return;
        QProgressDialog::keyPressEvent(event);
    }

private:
    bool m_cancellable;
};

} // namespace

HProgress::HProgress(QWidget *parent, const QString &label, int maximum, bool cancellable)
    : m_dialog(new ProgressDialog(parent, cancellable))
    , m_cancellable(cancellable)
{
    m_dialog->setObjectName(QStringLiteral("progressDialog"));
    m_dialog->setWindowTitle(TranslateString(QStringLiteral("Please wait")));
    m_dialog->setLabelText(label);
    m_dialog->setWindowModality(Qt::WindowModal);
    m_dialog->setMinimumDuration(kShowAfterMs);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    if (cancellable)
        m_dialog->setCancelButtonText(TranslateString(QStringLiteral("Cancel")));
    else
        m_dialog->setCancelButton(nullptr);
    m_dialog->setRange(0, maximum);
    m_dialog->setValue(0);
}

HProgress::~HProgress()
{
    delete m_dialog;
}

void HProgress::setValue(int value)
{
    // After Cancel the dialog would show itself again on the next value.
    if (m_dialog && !m_dialog->wasCanceled())
        m_dialog->setValue(value);
}

void HProgress::setLabelText(const QString &label)
{
    if (m_dialog)
        m_dialog->setLabelText(label);
}

void HProgress::setMaximum(int maximum)
{
    if (m_dialog)
        m_dialog->setMaximum(maximum);
}

bool HProgress::wasCanceled() const
{
    return m_cancellable && m_dialog && m_dialog->wasCanceled();
}
