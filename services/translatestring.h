#pragma once

#include <QString>

class QCoreApplication;

// The translation of a user-visible English text; the text itself where none exists. The
// texts share the context "TranslateString" in translations/product_<language>.ts; a text
// that reaches this function through a variable is marked where it is written with
// QT_TRANSLATE_NOOP("TranslateString", "...") so that the text scan finds it.
QString TranslateString(const QString &text);

// The language the user asked for: the value of "--lang <language>" or "--lang=<language>"
// among `arguments`, else an empty text (follow the system locale).
QString requestedLanguage(const QStringList &arguments);

// Installs the translators of `language` ("zh_CN", say; empty: the system locale's; "en" or
// "C": none, the texts stay English): translations/product_<language>.qm from `folder`
// (default: translations/ beside the executable), and Qt's own texts (dialog buttons)
// qtbase_<language>.qm from Qt's translations folder when it is there. Returns whether our
// translation was installed; English needs none and also returns true.
bool installProductTranslator(QCoreApplication &app, const QString &language = QString(),
                              const QString &folder = QString());
