#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Finds the user-visible texts of the sources: the string literals passed to TranslateString
// (adjacent literals joined, QStringLiteral/QLatin1String unwrapped, comments skipped), the
// texts marked QT_TRANSLATE_NOOP("TranslateString", ...), and the texts of designer forms.
namespace TextScan {

constexpr char kContext[] = "TranslateString";

struct Text
{
    QString context; // "TranslateString", or a form's class name
    QString source;  // the English text, escapes decoded
    QString where;   // file:line
};

struct Result
{
    QList<Text> texts;
    // TranslateString calls whose argument is not a literal (file:line): the texts that
    // reach them must be marked with QT_TRANSLATE_NOOP somewhere to be found.
    QStringList indirect;
};

// Scans one C++ source text; `file` names it in `where`.
Result scanSource(const QString &code, const QString &file);
// The texts uic passes to tr() in a .ui form (every <string> not marked notr="true").
Result scanForm(const QByteArray &xml, const QString &file);
// Every .h/.cpp of the folders below `root` that hold the program's sources, and every form.
Result scanTree(const QString &root);

// The folders (below the source root) whose texts the program shows.
QStringList sourceFolders();

// A C string literal for `text` (quotes included), for generated sources.
QString cLiteral(const QString &text);

} // namespace TextScan
