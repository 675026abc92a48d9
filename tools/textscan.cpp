#include "textscan.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QXmlStreamReader>

namespace TextScan {

namespace {

struct Token
{
    enum Kind { Identifier, Literal, Punct } kind;
    QString text; // identifier name, decoded literal, or the punctuation character
    int line;
};

// Decodes the escapes of a narrow literal's body (UTF-8 source).
QString decode(const QByteArray &body)
{
    QByteArray out;
    for (int i = 0; i < body.size(); ++i) {
        const char c = body.at(i);
        if (c != '\\' || i + 1 >= body.size()) {
            out.append(c);
            continue;
        }
        const char e = body.at(++i);
        switch (e) {
        case 'n':
            out.append('\n');
            break;
        case 't':
            out.append('\t');
            break;
        case 'r':
            out.append('\r');
            break;
        case '0':
        case '1':
        case '2':
        case '3':
        case '4':
        case '5':
        case '6':
        case '7': {
            int value = 0;
            int digits = 0;
            while (digits < 3 && i < body.size() && body.at(i) >= '0' && body.at(i) <= '7') {
                value = value * 8 + (body.at(i) - '0');
                ++i;
                ++digits;
            }
            --i;
            out.append(char(value));
            break;
        }
        case 'x': {
            int value = 0;
            while (i + 1 < body.size() && isxdigit(static_cast<unsigned char>(body.at(i + 1))))
                value = value * 16 + QByteArray(1, body.at(++i)).toInt(nullptr, 16);
            out.append(char(value));
            break;
        }
        default:
            out.append(e);
            break; // \" \\ \' \?
        }
    }
    return QString::fromUtf8(out);
}

QList<Token> tokenize(const QByteArray &code)
{
    QList<Token> tokens;
    int line = 1;
    const int n = code.size();
    auto isIdent = [](char c) { return isalnum(static_cast<unsigned char>(c)) || c == '_'; };
    for (int i = 0; i < n;) {
        const char c = code.at(i);
        if (c == '\n') {
            ++line;
            ++i;
        } else if (isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '/' && i + 1 < n && code.at(i + 1) == '/') {
            while (i < n && code.at(i) != '\n')
                ++i;
        } else if (c == '/' && i + 1 < n && code.at(i + 1) == '*') {
            i += 2;
            while (i + 1 < n && !(code.at(i) == '*' && code.at(i + 1) == '/'))
                line += code.at(i++) == '\n';
            i += 2;
        } else if (c == '#') { // preprocessor lines carry no texts we look for
            while (i < n && code.at(i) != '\n')
                i += code.at(i) == '\\' ? 2 : 1;
        } else if (c == '"' || c == '\'') {
            const int start = i++;
            while (i < n && code.at(i) != c && code.at(i) != '\n')
                i += code.at(i) == '\\' ? 2 : 1;
            const QByteArray body = code.mid(start + 1, i - start - 1);
            ++i;
            if (c == '"')
                tokens.append({Token::Literal, decode(body), line});
        } else if (c == 'R' && i + 1 < n && code.at(i + 1) == '"') { // raw literal R"d(...)d"
            const int open = code.indexOf('(', i);
            const QByteArray close = ')' + code.mid(i + 2, open - i - 2) + '"';
            const int end = code.indexOf(close, open);
            if (open < 0 || end < 0)
                break;
            const QByteArray body = code.mid(open + 1, end - open - 1);
            tokens.append({Token::Literal, QString::fromUtf8(body), line});
            line += body.count('\n');
            i = end + close.size();
        } else if (isIdent(c)) {
            const int start = i;
            while (i < n && isIdent(code.at(i)))
                ++i;
            // An encoding prefix (u8"", L"", u"") belongs to the literal that follows.
            const QByteArray word = code.mid(start, i - start);
            if (i < n && code.at(i) == '"' && (word == "u8" || word == "u" || word == "L"))
                continue;
            tokens.append({Token::Identifier, QString::fromLatin1(word), line});
        } else {
            tokens.append({Token::Punct, QString(QLatin1Char(c)), line});
            ++i;
        }
    }
    return tokens;
}

bool isPunct(const QList<Token> &t, int i, char c)
{
    return i < t.size() && t.at(i).kind == Token::Punct && t.at(i).text == QLatin1Char(c);
}

// Adjacent literals from `i` on, joined; moves `i` past them. False when there is none.
bool literals(const QList<Token> &t, int &i, QString *text)
{
    if (i >= t.size() || t.at(i).kind != Token::Literal)
        return false;
    text->clear();
    while (i < t.size() && t.at(i).kind == Token::Literal)
        text->append(t.at(i++).text);
    return true;
}

// The argument at `i` when it is one literal text (maybe wrapped), followed by `end`.
bool literalArgument(const QList<Token> &t, int i, char end, QString *text)
{
    static const QStringList wrappers = {QStringLiteral("QStringLiteral"),
                                         QStringLiteral("QLatin1String"),
                                         QStringLiteral("QString")};
    if (i < t.size() && t.at(i).kind == Token::Identifier && wrappers.contains(t.at(i).text) &&
        isPunct(t, i + 1, '(')) {
        i += 2;
        if (!literals(t, i, text) || !isPunct(t, i, ')'))
            return false;
        ++i;
    } else if (!literals(t, i, text)) {
        return false;
    }
    return isPunct(t, i, end);
}

} // namespace

Result scanSource(const QString &code, const QString &file)
{
    Result result;
    const QList<Token> t = tokenize(code.toUtf8());
    for (int i = 0; i + 1 < t.size(); ++i) {
        if (t.at(i).kind != Token::Identifier || !isPunct(t, i + 1, '('))
            continue;
        const QString where = file + QLatin1Char(':') + QString::number(t.at(i).line);
        QString text;
        if (t.at(i).text == QLatin1String("TranslateString")) {
            // The declaration and definition name the parameter, not a text.
            if (i > 0 && t.at(i - 1).kind == Token::Identifier &&
                t.at(i - 1).text == QLatin1String("QString"))
                continue;
            if (literalArgument(t, i + 2, ')', &text))
                result.texts.append({QString::fromLatin1(kContext), text, where});
            else
                result.indirect.append(where);
        } else if (t.at(i).text == QLatin1String("QT_TRANSLATE_NOOP")) {
            int j = i + 2;
            QString context;
            if (literals(t, j, &context) && context == QLatin1String(kContext) &&
                isPunct(t, j, ',') && literalArgument(t, j + 1, ')', &text))
                result.texts.append({context, text, where});
        }
    }
    return result;
}

Result scanForm(const QByteArray &xml, const QString &file)
{
    Result result;
    QXmlStreamReader reader(xml);
    QString context;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (reader.name() == QLatin1String("class") && context.isEmpty()) {
            context = reader.readElementText();
        } else if (reader.name() == QLatin1String("string")) {
            const bool notr =
                reader.attributes().value(QLatin1String("notr")) == QLatin1String("true");
            const QString where = file + QLatin1Char(':') + QString::number(reader.lineNumber());
            const QString text = reader.readElementText();
            if (!notr && !text.isEmpty())
                result.texts.append({context, text, where});
        }
    }
    return result;
}

QStringList sourceFolders()
{
    return {QStringLiteral("app"),      QStringLiteral("gui"),        QStringLiteral("matching"),
            QStringLiteral("rules"),    QStringLiteral("salestatus"), QStringLiteral("database"),
            QStringLiteral("workbook"), QStringLiteral("services")};
}

Result scanTree(const QString &root)
{
    Result result;
    auto add = [&result](const Result &more) {
        result.texts += more.texts;
        result.indirect += more.indirect;
    };
    const QDir base(root);
    QStringList folders = sourceFolders();
    folders.append(QStringLiteral("forms"));
    for (const QString &folder : folders) {
        QDirIterator it(base.filePath(folder),
                        {QStringLiteral("*.h"), QStringLiteral("*.cpp"), QStringLiteral("*.ui")},
                        QDir::Files);
        QStringList files;
        while (it.hasNext())
            files.append(it.next());
        files.sort();
        for (const QString &path : files) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QString shown = base.relativeFilePath(path);
            const QByteArray bytes = file.readAll();
            if (path.endsWith(QLatin1String(".ui")))
                add(scanForm(bytes, shown));
            else
                add(scanSource(QString::fromUtf8(bytes), shown));
        }
    }
    return result;
}

QString cLiteral(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"':
            out += QLatin1String("\\\"");
            break;
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        default:
            out += c;
            break;
        }
    }
    return out + QLatin1Char('"');
}

} // namespace TextScan
