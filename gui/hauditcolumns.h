#pragma once

#include "translatestring.h"

#include <QStringList>

// The titles of a history entry's columns (series, row, column, old and new value), shared by
// the History window and the Changes view so that both name them alike.
inline QStringList auditEntryHeaders()
{
    QStringList texts;
    for (const char *text : {QT_TRANSLATE_NOOP("TranslateString", "Series"),
                             QT_TRANSLATE_NOOP("TranslateString", "Row"),
                             QT_TRANSLATE_NOOP("TranslateString", "Column"),
                             QT_TRANSLATE_NOOP("TranslateString", "Old value"),
                             QT_TRANSLATE_NOOP("TranslateString", "New value")})
        texts.append(TranslateString(QString::fromLatin1(text)));
    return texts;
}
