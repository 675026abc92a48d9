#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include <cstring>

#include <string>
#include <vector>

class QIODevice;

// A small pull reader for the XML parts of an .xlsx file, fast enough for sheets of a
// million cells: elements, attributes and character data (the predefined entities, character
// references and CDATA sections decoded); comments and processing instructions are skipped.
// A document type declaration is refused: no part of a workbook carries one, and its
// entities are a classic way to make a small file expand.
//
// The input is UTF-8, read from a device in chunks, so a part of any size takes little
// memory. The bytes read are added to a counter shared by every part of one workbook, and
// reading stops with an error once they pass the limit.
class HXmlScanner
{
public:
    enum Token { StartElement, EndElement, Characters, EndDocument, Invalid };

    // The longest single tag or run of text.
    static constexpr int MaxToken = 16 << 20;
    static constexpr int MaxDepth = 256;

    HXmlScanner(QIODevice *device, const QString &part, qint64 *inflated, qint64 limit);

    Token next();
    Token token() const { return m_token; }
    bool atError() const { return m_token == Invalid; }
    QString errorString() const { return m_error; }
    // Elements open around the current token (the current start element included).
    int depth() const { return int(m_stack.size()); }

    // The local name (without prefix) of the current start or end element.
    bool isNamed(const char *name, int length) const
    {
        return m_localSize == length &&
               std::memcmp(m_buffer.constData() + m_localStart, name, size_t(length)) == 0;
    }
    // With the length known here the comparison compiles to a few loads.
    template <int N> bool is(const char (&name)[N]) const { return isNamed(name, N - 1); }
    // An attribute of the current start element by local name: without a prefix, or with one
    // when `prefixed` (as r:id). False when absent.
    bool attribute(const char *name, std::string *value, bool prefixed = false)
    {
        return attribute(name, int(std::strlen(name)), value, prefixed);
    }
    template <int N>
    bool attribute(const char (&name)[N], std::string *value, bool prefixed = false)
    {
        return attribute(name, N - 1, value, prefixed);
    }
    bool attribute(const char *name, int length, std::string *value, bool prefixed);
    // The raw bytes of an unprefixed attribute, valid until the next token, when they need no
    // decoding; false when absent or when they hold an entity (read those with attribute()).
    template <int N> bool rawAttribute(const char (&name)[N], const char **data, int *size) const
    {
        return rawAttribute(name, N - 1, data, size);
    }
    bool rawAttribute(const char *name, int length, const char **data, int *size) const;

    // The decoded text of the current Characters token, appended to `out`.
    bool appendText(std::string *out);
    // The raw bytes of the current Characters token when they need no decoding (no entity,
    // no carriage return); false otherwise.
    bool plainText(const char **data, int *size) const;

    // Stops with an error of the caller's, naming the part.
    Token fail(const QString &what);

private:
    bool more(int wanted);
    Token text(int from, int to, bool cdata);
    bool decode(const char *data, int size, std::string *out);
    bool checkDeclaration(const char *data, int size);

    QIODevice *m_device;
    QString m_part;
    qint64 *m_inflated;
    qint64 m_limit;
    QByteArray m_buffer;
    int m_pos = 0;
    bool m_eof = false;
    bool m_started = false;
    bool m_rootSeen = false;

    Token m_token = EndDocument;
    QString m_error;
    // The current token's parts, as offsets into m_buffer (valid until the next call).
    int m_nameStart = 0;
    int m_nameSize = 0;
    int m_localStart = 0;
    int m_localSize = 0;
    int m_tagEnd = 0;
    int m_textStart = 0;
    int m_textSize = 0;
    bool m_cdata = false;
    bool m_pendingEnd = false;
    // The attributes of the current start element.
    struct Attribute
    {
        int nameStart = 0;
        int localStart = 0;
        int localSize = 0;
        bool prefixed = false;
        int valueStart = 0;
        int valueSize = 0;
    };
    std::vector<Attribute> m_attributes;
    // Open elements: a hash of each qualified name, to match end tags without copies.
    std::vector<quint64> m_stack;
};
