#include "htextdelegate.h"

#include "hmessagebox.h"
#include "translatestring.h"

#include <QMetaProperty>
#include <QTimer>

HTextDelegate::HTextDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{}

int HTextDelegate::forbiddenCharacter(const QString &text)
{
    for (const QChar c : text) {
        const ushort code = c.unicode();
        if (code == '\t' || code == '\n' || code == '\r')
            continue;
        if (code < 0x20 || code == 0x7f)
            return code;
    }
    return -1;
}

void HTextDelegate::setModelData(QWidget *editor, QAbstractItemModel *model,
                                 const QModelIndex &index) const
{
    const QMetaProperty property = editor->metaObject()->userProperty();
    if (property.isValid()) {
        const QVariant value = property.read(editor);
        if (value.type() == QVariant::String) {
            const int character = forbiddenCharacter(value.toString());
            if (character >= 0) {
                showRefusal(editor->parentWidget(), character);
                return;
            }
        }
    }
    QStyledItemDelegate::setModelData(editor, model, index);
}

void HTextDelegate::showRefusal(QWidget *parent, int character) const
{
    // The view commits an editor more than once as it closes (Enter, then the focus
    // leaving it); one message is enough. The box waits until the editor is gone, since a
    // box opened now would take the focus from the editor that is being committed.
    if (m_refusalPending)
        return;
    m_refusalPending = true;
    QPointer<QWidget> guard(parent);
    QTimer::singleShot(0, this, [this, guard, character]() {
        HMessageBox::warning(
            guard.data(), TranslateString(QStringLiteral("Warning")),
            TranslateString(QStringLiteral("The text was not taken: it contains a control "
                                           "character (code %1) that a cell cannot hold. "
                                           "Type the text again without it."))
                .arg(character));
        m_refusalPending = false;
    });
}
