#include "hmessagebox.h"

#include <QAbstractButton>

QMessageBox::StandardButton HMessageBox::show(QWidget *parent, QMessageBox::Icon icon,
                                              const QString &title, const QString &text,
                                              QMessageBox::StandardButtons buttons,
                                              QMessageBox::StandardButton defaultButton)
{
    return show(parent, icon, title, text, buttons, defaultButton, {});
}

QMessageBox::StandardButton
HMessageBox::show(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                  const QString &text, QMessageBox::StandardButtons buttons,
                  QMessageBox::StandardButton defaultButton,
                  const QMap<QMessageBox::StandardButton, QString> &buttonTexts)
{
    QMessageBox box(icon, title, text, buttons, parent);
    for (auto it = buttonTexts.cbegin(); it != buttonTexts.cend(); ++it) {
        if (QAbstractButton *button = box.button(it.key()))
            button->setText(it.value());
    }
    box.setWindowModality(Qt::ApplicationModal);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void HMessageBox::information(QWidget *parent, const QString &title, const QString &text)
{
    show(parent, QMessageBox::Information, title, text);
}

void HMessageBox::warning(QWidget *parent, const QString &title, const QString &text)
{
    show(parent, QMessageBox::Warning, title, text);
}

bool HMessageBox::question(QWidget *parent, const QString &title, const QString &text)
{
    return show(parent, QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}
