#include "hxmlscanner.h"

#include <QIODevice>

#include <cstring>

namespace {

constexpr int Chunk = 256 << 10;

bool isSpace(char c)
{
    return c == ' ' || c == '\n' || c == '\t' || c == '\r';
}

// What a byte means inside a tag, looked up once a byte: 0 a name byte, and otherwise the
// byte that ends or breaks a name.
enum NameClass : unsigned char { NameByte, NameEnd, NameColon, NameBad, NameEquals };

struct NameClasses
{
    unsigned char of[256] = {};
    constexpr NameClasses()
    {
        of[uchar(' ')] = of[uchar('\n')] = of[uchar('\t')] = of[uchar('\r')] = NameEnd;
        of[uchar('>')] = of[uchar('/')] = NameEnd;
        of[uchar(':')] = NameColon;
        of[uchar('<')] = of[uchar('"')] = of[uchar('\'')] = NameBad;
        of[uchar('=')] = NameEquals;
    }
};

constexpr NameClasses kName;

const char *find(const char *from, const char *end, const char *what, int size)
{
    if (end - from < size)
        return nullptr;
    const void *hit = memmem(from, size_t(end - from), what, size_t(size));
    return static_cast<const char *>(hit);
}

void appendUtf8(std::string *out, uint code)
{
    char bytes[4];
    int n = 0;
    if (code < 0x80) {
        bytes[n++] = char(code);
    } else if (code < 0x800) {
        bytes[n++] = char(0xC0 | (code >> 6));
        bytes[n++] = char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        bytes[n++] = char(0xE0 | (code >> 12));
        bytes[n++] = char(0x80 | ((code >> 6) & 0x3F));
        bytes[n++] = char(0x80 | (code & 0x3F));
    } else {
        bytes[n++] = char(0xF0 | (code >> 18));
        bytes[n++] = char(0x80 | ((code >> 12) & 0x3F));
        bytes[n++] = char(0x80 | ((code >> 6) & 0x3F));
        bytes[n++] = char(0x80 | (code & 0x3F));
    }
    out->append(bytes, size_t(n));
}

// Whether a word of 8 bytes holds the byte `b` (the usual bit trick: exact, no false hits).
inline bool holdsByte(quint64 word, unsigned char b)
{
    constexpr quint64 ones = 0x0101010101010101ULL;
    constexpr quint64 highs = 0x8080808080808080ULL;
    const quint64 x = word ^ (ones * b);
    return ((x - ones) & ~x & highs) != 0;
}

// Whether a text needs decoding: an entity or a carriage return in it. Cell texts are short,
// so they are looked at 8 bytes at a time rather than through two library scans.
bool needsDecoding(const char *data, int size)
{
    if (size > 64)
        return std::memchr(data, '&', size_t(size)) || std::memchr(data, '\r', size_t(size));
    int i = 0;
    for (; i + 8 <= size; i += 8) {
        quint64 word;
        std::memcpy(&word, data + i, 8);
        if (holdsByte(word, '&') || holdsByte(word, '\r'))
            return true;
    }
    for (; i < size; ++i) {
        if (data[i] == '&' || data[i] == '\r')
            return true;
    }
    return false;
}

} // namespace

HXmlScanner::HXmlScanner(QIODevice *device, const QString &part, qint64 *inflated, qint64 limit)
    : m_device(device)
    , m_part(part)
    , m_inflated(inflated)
    , m_limit(limit)
{}

HXmlScanner::Token HXmlScanner::fail(const QString &what)
{
    if (m_token != Invalid)
        m_error = QStringLiteral("the part %1 is damaged: %2").arg(m_part, what);
    m_token = Invalid;
    return m_token;
}

// Keeps what is not consumed yet and reads at least `wanted` more bytes (or to the end).
bool HXmlScanner::more(int wanted)
{
    if (m_eof)
        return false;
    if (m_buffer.size() - m_pos >= MaxToken) {
        fail(QStringLiteral("a tag or text is longer than %1 MB").arg(MaxToken >> 20));
        return false;
    }
    if (m_pos > 0) {
        m_buffer.remove(0, m_pos);
        m_pos = 0;
    }
    const int kept = m_buffer.size();
    const int size = qMax(Chunk, qMin(wanted, MaxToken));
    m_buffer.resize(kept + size);
    qint64 got = 0;
    while (got < size) {
        const qint64 n = m_device->read(m_buffer.data() + kept + got, size - got);
        if (n < 0) {
            m_buffer.resize(kept + int(got));
            fail(QStringLiteral("it cannot be unpacked (%1)").arg(m_device->errorString()));
            return false;
        }
        if (n == 0) {
            m_eof = true;
            break;
        }
        got += n;
    }
    m_buffer.resize(kept + int(got));
    *m_inflated += got;
    if (*m_inflated > m_limit) {
        m_error = QStringLiteral("the workbook unpacks to more than %1 MB, the most that is read "
                                 "of a workbook")
                      .arg(m_limit >> 20);
        m_token = Invalid;
        return false;
    }
    return got > 0;
}

bool HXmlScanner::checkDeclaration(const char *data, int size)
{
    // <?xml version="1.0" encoding="..."?>: anything but UTF-8 is refused, as every
    // producer of workbooks writes UTF-8.
    const char *end = data + size;
    const char *at = find(data, end, "encoding", 8);
    if (!at)
        return true;
    at += 8;
    while (at < end && (isSpace(*at) || *at == '='))
        ++at;
    if (at >= end || (*at != '"' && *at != '\''))
        return true;
    const char quote = *at++;
    const char *close = static_cast<const char *>(std::memchr(at, quote, size_t(end - at)));
    if (!close)
        return true;
    const QByteArray encoding = QByteArray(at, int(close - at)).toLower();
    if (encoding == "utf-8" || encoding == "utf8")
        return true;
    fail(QStringLiteral("it is written in %1, not UTF-8").arg(QString::fromLatin1(encoding)));
    return false;
}

HXmlScanner::Token HXmlScanner::next()
{
    if (m_token == Invalid)
        return m_token;
    if (m_pendingEnd) {
        // The end of an empty element <a/>: the name is still where it was.
        m_pendingEnd = false;
        m_stack.pop_back();
        m_token = EndElement;
        return m_token;
    }
    if (m_token == StartElement || m_token == EndElement || m_token == Characters)
        m_pos = m_token == Characters && !m_cdata ? m_textStart + m_textSize : m_tagEnd;
    if (!m_started) {
        if (!more(Chunk) && m_token == Invalid)
            return m_token;
        m_started = true;
        const char *data = m_buffer.constData();
        if (m_buffer.size() >= 2 && ((uchar(data[0]) == 0xFF && uchar(data[1]) == 0xFE) ||
                                     (uchar(data[0]) == 0xFE && uchar(data[1]) == 0xFF)))
            return fail(QStringLiteral("it is written in UTF-16, not UTF-8"));
        if (m_buffer.startsWith("\xEF\xBB\xBF"))
            m_pos = 3;
    }

    for (;;) {
        const char *base = m_buffer.constData();
        const char *at = base + m_pos;
        const char *end = base + m_buffer.size();
        if (at >= end) {
            if (more(Chunk))
                continue;
            if (m_token == Invalid)
                return m_token;
            if (!m_stack.empty())
                return fail(QStringLiteral("it ends before its elements are closed (cut short?)"));
            if (!m_rootSeen)
                return fail(QStringLiteral("it holds no element (empty or cut short?)"));
            m_token = EndDocument;
            return m_token;
        }
        if (*at != '<') {
            const char *lt = static_cast<const char *>(std::memchr(at, '<', size_t(end - at)));
            if (!lt) {
                if (more(int(end - at) * 2))
                    continue;
                if (m_token == Invalid)
                    return m_token;
                lt = end;
            }
            if (m_stack.empty()) {
                // Only blanks may stand outside the root element.
                for (const char *c = at; c < lt; ++c) {
                    if (!isSpace(*c))
                        return fail(QStringLiteral("text outside its root element"));
                }
                m_pos = int(lt - base);
                continue;
            }
            return text(int(at - base), int(lt - base), false);
        }
        if (end - at < 2) {
            if (more(Chunk))
                continue;
            if (m_token == Invalid)
                return m_token;
            return fail(QStringLiteral("it ends inside a tag (cut short?)"));
        }
        const char second = at[1];
        if (second == '?' || second == '!') {
            const char *closing = nullptr;
            int closingSize = 0;
            bool cdata = false;
            if (second == '?') {
                closing = "?>";
                closingSize = 2;
            } else if (end - at >= 4 && std::memcmp(at, "<!--", 4) == 0) {
                closing = "-->";
                closingSize = 3;
            } else if (end - at >= 9 && std::memcmp(at, "<![CDATA[", 9) == 0) {
                closing = "]]>";
                closingSize = 3;
                cdata = true;
            } else if (end - at < 9) {
                if (more(Chunk))
                    continue;
                if (m_token == Invalid)
                    return m_token;
                return fail(QStringLiteral("it ends inside a tag (cut short?)"));
            } else {
                return fail(QStringLiteral("it holds a document type declaration"));
            }
            const char *stop = find(at + 2, end, closing, closingSize);
            if (!stop) {
                if (more(int(end - at) * 2))
                    continue;
                if (m_token == Invalid)
                    return m_token;
                return fail(QStringLiteral("it ends inside a tag (cut short?)"));
            }
            if (cdata) {
                if (m_stack.empty())
                    return fail(QStringLiteral("text outside its root element"));
                m_tagEnd = int(stop + closingSize - base);
                return text(int(at + 9 - base), int(stop - base), true);
            }
            if (second == '?' && end - at > 5 && std::memcmp(at, "<?xml", 5) == 0 &&
                isSpace(at[5]) && !checkDeclaration(at, int(stop - at)))
                return m_token;
            m_pos = int(stop + closingSize - base);
            continue;
        }

        // A start or end tag, read in one pass: its name, then (for a start tag) its
        // attributes, which are kept for attribute().
        const bool closing = second == '/';
        const char *name = at + (closing ? 2 : 1);
        const char *c = name;
        const char *local = name;
        quint64 hash = 1469598103934665603ULL;
        while (c < end) {
            const unsigned char kind = kName.of[uchar(*c)];
            if (kind != NameByte) {
                if (kind == NameEnd)
                    break;
                if (kind != NameColon)
                    return fail(
                        QStringLiteral("a tag holds '%1' in its name").arg(QLatin1Char(*c)));
                local = c + 1;
            }
            hash = (hash ^ static_cast<unsigned char>(*c)) * 1099511628211ULL;
            ++c;
        }
        const char *nameEnd = c;
        bool empty = false;
        bool complete = false;
        m_attributes.clear();
        while (c < end) {
            while (c < end && isSpace(*c))
                ++c;
            if (c >= end)
                break;
            if (*c == '>') {
                complete = true;
                ++c;
                break;
            }
            if (*c == '/' && !closing) {
                if (c + 1 >= end)
                    break;
                if (c[1] != '>')
                    return fail(QStringLiteral("a '/' inside a tag"));
                complete = empty = true;
                c += 2;
                break;
            }
            if (closing)
                return fail(QStringLiteral("an end tag with attributes"));
            Attribute attribute;
            attribute.nameStart = int(c - base);
            const char *attributeLocal = c;
            while (c < end) {
                const unsigned char kind = kName.of[uchar(*c)];
                if (kind != NameByte) {
                    if (kind == NameEnd || kind == NameEquals)
                        break;
                    if (kind == NameBad)
                        return fail(QStringLiteral("a tag holds '%1'").arg(QLatin1Char(*c)));
                    attributeLocal = c + 1;
                }
                ++c;
            }
            attribute.prefixed = attributeLocal != base + attribute.nameStart;
            attribute.localStart = int(attributeLocal - base);
            attribute.localSize = int(c - attributeLocal);
            while (c < end && isSpace(*c))
                ++c;
            if (c >= end)
                break;
            if (*c != '=')
                return fail(QStringLiteral("an attribute without a value"));
            ++c;
            while (c < end && isSpace(*c))
                ++c;
            if (c >= end)
                break;
            if (*c != '"' && *c != '\'')
                return fail(QStringLiteral("an attribute value without quotes"));
            const char quote = *c++;
            const char *close = static_cast<const char *>(std::memchr(c, quote, size_t(end - c)));
            if (!close)
                break;
            attribute.valueStart = int(c - base);
            attribute.valueSize = int(close - c);
            m_attributes.push_back(attribute);
            c = close + 1;
        }
        if (!complete) {
            if (more(int(end - at) * 2))
                continue;
            if (m_token == Invalid)
                return m_token;
            return fail(QStringLiteral("it ends inside a tag (cut short?)"));
        }
        if (nameEnd == name)
            return fail(QStringLiteral("a tag without a name"));
        m_nameStart = int(name - base);
        m_nameSize = int(nameEnd - name);
        m_localStart = int(local - base);
        m_localSize = int(nameEnd - local);
        m_tagEnd = int(c - base);
        hash ^= quint64(m_nameSize) << 56;
        if (closing) {
            if (m_stack.empty() || m_stack.back() != hash)
                return fail(QStringLiteral("the end tag </%1> does not match")
                                .arg(QString::fromUtf8(name, qMin(m_nameSize, 64))));
            m_stack.pop_back();
            m_token = EndElement;
            return m_token;
        }
        if (m_stack.empty() && m_rootSeen)
            return fail(QStringLiteral("a second root element"));
        m_rootSeen = true;
        if (int(m_stack.size()) >= MaxDepth)
            return fail(QStringLiteral("elements nested more than %1 deep").arg(MaxDepth));
        // An empty element <a/> counts as open until its end is handed out.
        m_pendingEnd = empty;
        m_stack.push_back(hash);
        m_token = StartElement;
        return m_token;
    }
}

HXmlScanner::Token HXmlScanner::text(int from, int to, bool cdata)
{
    m_textStart = from;
    m_textSize = to - from;
    m_cdata = cdata;
    m_token = Characters;
    return m_token;
}

bool HXmlScanner::attribute(const char *name, int size, std::string *value, bool prefixed)
{
    if (m_token != StartElement)
        return false;
    const size_t length = size_t(size);
    const char *base = m_buffer.constData();
    for (const Attribute &attribute : m_attributes) {
        if (size_t(attribute.localSize) != length || attribute.prefixed != prefixed ||
            std::memcmp(base + attribute.localStart, name, length) != 0)
            continue;
        value->clear();
        const char *at = base + attribute.valueStart;
        if (!std::memchr(at, '&', size_t(attribute.valueSize))) {
            value->append(at, size_t(attribute.valueSize));
            return true;
        }
        return decode(at, attribute.valueSize, value);
    }
    return false;
}

bool HXmlScanner::rawAttribute(const char *name, int length, const char **data, int *size) const
{
    if (m_token != StartElement)
        return false;
    const char *base = m_buffer.constData();
    for (const Attribute &attribute : m_attributes) {
        if (attribute.localSize != length || attribute.prefixed ||
            std::memcmp(base + attribute.localStart, name, size_t(length)) != 0)
            continue;
        const char *at = base + attribute.valueStart;
        if (std::memchr(at, '&', size_t(attribute.valueSize)))
            return false;
        *data = at;
        *size = attribute.valueSize;
        return true;
    }
    return false;
}

bool HXmlScanner::plainText(const char **data, int *size) const
{
    const char *at = m_buffer.constData() + m_textStart;
    if (!m_cdata && needsDecoding(at, m_textSize))
        return false;
    *data = at;
    *size = m_textSize;
    return true;
}

bool HXmlScanner::appendText(std::string *out)
{
    const char *at = m_buffer.constData() + m_textStart;
    if (m_cdata || !needsDecoding(at, m_textSize)) {
        out->append(at, size_t(m_textSize));
        return true;
    }
    return decode(at, m_textSize, out);
}

bool HXmlScanner::decode(const char *data, int size, std::string *out)
{
    const char *at = data;
    const char *end = data + size;
    out->reserve(out->size() + size_t(size));
    while (at < end) {
        const char c = *at;
        if (c == '\r') {
            // Line ends read as "\n", whichever way they were written.
            out->push_back('\n');
            at += at + 1 < end && at[1] == '\n' ? 2 : 1;
            continue;
        }
        if (c != '&') {
            const char *stop = at;
            while (stop < end && *stop != '&' && *stop != '\r')
                ++stop;
            out->append(at, size_t(stop - at));
            at = stop;
            continue;
        }
        const char *semicolon =
            static_cast<const char *>(std::memchr(at, ';', size_t(qMin<qint64>(end - at, 12))));
        if (!semicolon) {
            fail(QStringLiteral("an '&' that starts no entity"));
            return false;
        }
        const QByteArray entity(at + 1, int(semicolon - at - 1));
        if (entity == "lt") {
            out->push_back('<');
        } else if (entity == "gt") {
            out->push_back('>');
        } else if (entity == "amp") {
            out->push_back('&');
        } else if (entity == "quot") {
            out->push_back('"');
        } else if (entity == "apos") {
            out->push_back('\'');
        } else if (entity.startsWith('#')) {
            bool ok = false;
            const uint code = entity.startsWith("#x") ? entity.mid(2).toUInt(&ok, 16)
                                                      : entity.mid(1).toUInt(&ok, 10);
            if (!ok || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
                fail(QStringLiteral("the character reference &%1;")
                         .arg(QString::fromLatin1(entity)));
                return false;
            }
            appendUtf8(out, code);
        } else {
            fail(QStringLiteral("the unknown entity &%1;").arg(QString::fromUtf8(entity)));
            return false;
        }
        at = semicolon + 1;
    }
    return true;
}
