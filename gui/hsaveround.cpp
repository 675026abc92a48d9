#include "hsaveround.h"

#include "hmessagebox.h"
#include "translatestring.h"

namespace {

HSaveRound *g_current = nullptr;

} // namespace

HSaveNotifier *HSaveNotifier::instance()
{
    static HSaveNotifier notifier;
    return &notifier;
}

HSaveRound::HSaveRound()
    : m_outer(g_current)
{
    g_current = this;
}

HSaveRound::~HSaveRound()
{
    g_current = m_outer;
}

void HSaveRound::report(QWidget *tab, const HSaveOutcome &outcome)
{
    if (g_current) {
        g_current->m_entries.append({tab, outcome});
        return;
    }
    emit HSaveNotifier::instance()->saved(tab, outcome);
    if (!outcome.ok && !outcome.cancelled)
        HMessageBox::warning(tab, TranslateString(QStringLiteral("Warning")), outcome.error);
}

bool HSaveRound::failed() const
{
    for (const Entry &entry : m_entries) {
        if (!entry.outcome.ok)
            return true;
    }
    return false;
}
