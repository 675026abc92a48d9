#pragma once

#include <QString>

class QCoreApplication;

// The translation of a user-visible English text; the text itself where none exists.
QString TranslateString(const QString &text);

// Loads the translation of the user's language from translations/ beside the executable
// (product_<language>.qm), if there is one. Returns whether one was installed.
bool installProductTranslator(QCoreApplication &app);
