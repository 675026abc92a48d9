#pragma once

#include <QMap>
#include <QMessageBox>

// Every message box of the tool: modal, with its parent, and with the exact title and text
// the caller gives (callers pass texts through TranslateString where they are translated).
// Tests answer these boxes through QApplication::activeModalWidget().
class HMessageBox
{
public:
    static QMessageBox::StandardButton
    show(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text,
         QMessageBox::StandardButtons buttons = QMessageBox::Ok,
         QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    // The same with some buttons given other texts ("Open another database...").
    static QMessageBox::StandardButton
    show(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text,
         QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
         const QMap<QMessageBox::StandardButton, QString> &buttonTexts);
    static void information(QWidget *parent, const QString &title, const QString &text);
    static void warning(QWidget *parent, const QString &title, const QString &text);
    // Yes/No question; true only for Yes.
    static bool question(QWidget *parent, const QString &title, const QString &text);
};
