// Reads an Excel 97-2003 (.xls) workbook and writes its sheets to standard output in the
// form of workbook/hxlsprotocol.h. The tool runs it for every .xls file it reads, so that a
// damaged file can crash or hang this process and not the tool.
//
//   product-xlsread [--sheet <name>] <file.xls>
//
// With --sheet only the rows of that sheet (ASCII letters compared without case) are
// written; the names of all sheets always are. Exit status 0 when the workbook was read,
// 1 when it was refused (the reason is in the output), 2 on wrong arguments.

#include "hxlsprotocol.h"

#include <freexl.h>
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-utils.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define PM_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PM_ASAN 1
#endif
#endif

namespace {

// Buffered output of the protocol's records.
class Output
{
public:
    Output()
        : m_buffer(1 << 18)
    {}
    ~Output() { flush(); }
    void bytes(const void *data, size_t size)
    {
        if (m_used + size > m_buffer.size()) {
            flush();
            if (size > m_buffer.size())
                m_buffer.resize(size);
        }
        std::memcpy(m_buffer.data() + m_used, data, size);
        m_used += size;
    }
    void u8(uint8_t v) { bytes(&v, 1); }
    void u16(uint16_t v)
    {
        const uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
        bytes(b, 2);
    }
    void u32(uint32_t v)
    {
        const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        bytes(b, 4);
    }
    void f64(double v)
    {
        uint64_t bits = 0;
        std::memcpy(&bits, &v, 8);
        u32(uint32_t(bits));
        u32(uint32_t(bits >> 32));
    }
    void text(const char *data, size_t size)
    {
        u32(uint32_t(size));
        bytes(data, size);
    }
    void text(const std::string &s) { text(s.data(), s.size()); }
    void flush()
    {
        size_t done = 0;
        while (done < m_used) {
            const size_t n = fwrite(m_buffer.data() + done, 1, m_used - done, stdout);
            if (n == 0)
                break;
            done += n;
        }
        fflush(stdout);
        m_used = 0;
    }

private:
    std::vector<char> m_buffer;
    size_t m_used = 0;
};

std::string freexlError(int code)
{
    switch (code) {
    case FREEXL_FILE_NOT_FOUND:
        return "the file does not exist or cannot be read";
    case FREEXL_INSUFFICIENT_MEMORY:
        return "not enough memory to read the workbook";
    case FREEXL_INVALID_CFBF_HEADER:
    case FREEXL_CFBF_INVALID_SIGNATURE:
        return "the file is not an .xls workbook";
    case FREEXL_BIFF_WORKBOOK_NOT_FOUND:
        return "the file holds no Excel 97-2003 workbook";
    case FREEXL_INVALID_CHARACTER:
    case FREEXL_UNSUPPORTED_CHARSET:
        return "the workbook holds text in an unsupported character set";
    default:
        return "the .xls workbook is damaged or unreadable (error " + std::to_string(code) + ")";
    }
}

void appendUtf8(std::string &out, uint32_t code)
{
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

uint16_t le16(const uint8_t *at)
{
    return uint16_t(at[0] | (at[1] << 8));
}

uint32_t le32(const uint8_t *at)
{
    return uint32_t(at[0]) | (uint32_t(at[1]) << 8) | (uint32_t(at[2]) << 16) |
           (uint32_t(at[3]) << 24);
}

// Characters of a BIFF8 string: one byte each (Latin-1) or UTF-16LE.
void appendChars(std::string &out, const uint8_t *at, size_t count, bool wide)
{
    for (size_t i = 0; i < count; ++i) {
        uint32_t code = wide ? le16(at + 2 * i) : at[i];
        if (wide && code >= 0xD800 && code < 0xDC00 && i + 1 < count) {
            const uint32_t low = le16(at + 2 * (i + 1));
            if (low >= 0xDC00 && low < 0xE000) {
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        appendUtf8(out, code);
    }
}

// The stored result of a formula cell.
struct Result
{
    char kind = HXlsProtocol::Text; // Text or Number
    std::string text;
    double number = 0;
};

// FreeXL leaves formula cells empty. Their stored results are read here from the workbook
// stream itself: FORMULA records, and the STRING record after one whose result is a text.
class FormulaResults
{
public:
    // sheet name (UTF-8) -> (row << 16 | column) -> result
    std::map<std::string, std::map<uint32_t, Result>> sheets;

    void read(const char *path)
    {
        GError *error = nullptr;
        GsfInput *file = gsf_input_stdio_new(path, &error);
        if (!file) {
            if (error)
                g_error_free(error);
            return;
        }
        GsfInfile *ole = gsf_infile_msole_new(file, &error);
        g_object_unref(file);
        if (!ole) {
            if (error)
                g_error_free(error);
            return;
        }
        GsfInput *stream = gsf_infile_child_by_name(ole, "Workbook");
        if (!stream)
            stream = gsf_infile_child_by_name(ole, "Book");
        if (stream) {
            const gsf_off_t size = gsf_input_size(stream);
            if (size > 0 && size < (gsf_off_t(1) << 31)) {
                m_data.resize(size_t(size));
                if (!gsf_input_read(stream, size_t(size), m_data.data()))
                    m_data.clear();
            }
            g_object_unref(stream);
        }
        g_object_unref(ole);
        scan();
    }

private:
    struct Bound
    {
        uint32_t offset;
        std::string name;
    };

    bool record(size_t at, uint16_t *type, const uint8_t **body, uint16_t *size) const
    {
        if (at + 4 > m_data.size())
            return false;
        *type = le16(&m_data[at]);
        *size = le16(&m_data[at + 2]);
        if (at + 4 + *size > m_data.size())
            return false;
        *body = &m_data[at + 4];
        return true;
    }

    void scan()
    {
        uint16_t type = 0, size = 0;
        const uint8_t *body = nullptr;
        if (!record(0, &type, &body, &size) || type != 0x0809 || size < 2)
            return;
        m_biff8 = le16(body) == 0x0600;
        std::vector<Bound> bounds;
        for (size_t at = 0; record(at, &type, &body, &size); at += 4 + size) {
            if (type == 0x000A) // EOF of the globals
                break;
            if (type == 0x0085 && size >= 8) { // BOUNDSHEET
                Bound bound{le32(body), std::string()};
                const size_t count = body[6];
                if (m_biff8) {
                    const bool wide = body[7] & 1;
                    if (8 + count * (wide ? 2 : 1) <= size)
                        appendChars(bound.name, body + 8, count, wide);
                } else if (7 + count <= size) {
                    appendChars(bound.name, body + 7, count, false);
                }
                bounds.push_back(bound);
            }
        }
        for (const Bound &bound : bounds) {
            if (!sheets.count(bound.name))
                scanSheet(bound.offset, sheets[bound.name]);
        }
    }

    void scanSheet(size_t at, std::map<uint32_t, Result> &results)
    {
        uint16_t type = 0, size = 0;
        const uint8_t *body = nullptr;
        if (!record(at, &type, &body, &size) || type != 0x0809)
            return;
        uint32_t pending = UINT32_MAX; // the cell whose text result comes in a STRING record
        for (at += 4 + size; record(at, &type, &body, &size); at += 4 + size) {
            if (type == 0x000A || type == 0x0809) // EOF, or the BOF of something else
                break;
            if (type == 0x0006 && size >= 20) { // FORMULA
                const uint32_t cell = (uint32_t(le16(body)) << 16) | le16(body + 2);
                const uint8_t *value = body + 6;
                pending = UINT32_MAX;
                Result result;
                if (le16(value + 6) != 0xFFFF) {
                    result.kind = HXlsProtocol::Number;
                    std::memcpy(&result.number, value, 8);
                    results[cell] = result;
                } else if (value[0] == 0) {
                    pending = cell;
                } else if (value[0] == 1) {
                    result.text = value[2] ? "TRUE" : "FALSE";
                    results[cell] = result;
                } else if (value[0] == 2) {
                    result.text = errorText(value[2]);
                    results[cell] = result;
                } else if (value[0] == 3) {
                    results[cell] = result; // an empty text
                }
            } else if (type == 0x0207 && pending != UINT32_MAX) { // STRING
                results[pending].text = stringRecord(at, body, size);
                pending = UINT32_MAX;
            } else if (type != 0x04BC && type != 0x0221 && type != 0x0236) {
                // Only SHRFMLA, ARRAY and TABLE may stand between a FORMULA and its STRING.
                pending = UINT32_MAX;
            }
        }
    }

    // The text of a STRING record, with the CONTINUE records that may follow it.
    std::string stringRecord(size_t at, const uint8_t *body, uint16_t size) const
    {
        std::string text;
        if (size < 2)
            return text;
        size_t left = le16(body);
        if (!m_biff8) {
            appendChars(text, body + 2, std::min<size_t>(left, size - 2u), false);
            return text;
        }
        if (size < 3)
            return text;
        bool wide = body[2] & 1;
        const uint8_t *chars = body + 3;
        size_t available = size - 3u;
        for (;;) {
            const size_t count = std::min(left, available / (wide ? 2 : 1));
            appendChars(text, chars, count, wide);
            left -= count;
            at += 4 + size;
            uint16_t type = 0;
            if (left == 0 || !record(at, &type, &body, &size) || type != 0x003C || size < 1)
                return text;
            wide = body[0] & 1;
            chars = body + 1;
            available = size - 1u;
        }
    }

    static std::string errorText(uint8_t code)
    {
        switch (code) {
        case 0x00:
            return "#NULL!";
        case 0x07:
            return "#DIV/0!";
        case 0x0F:
            return "#VALUE!";
        case 0x17:
            return "#REF!";
        case 0x1D:
            return "#NAME?";
        case 0x24:
            return "#NUM!";
        default:
            return "#N/A";
        }
    }

    std::vector<uint8_t> m_data;
    bool m_biff8 = true;
};

bool sameSheetName(const char *a, const std::string &b)
{
    const size_t size = std::strlen(a);
    if (size != b.size())
        return false;
    for (size_t i = 0; i < size; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x += 'a' - 'A';
        if (y >= 'A' && y <= 'Z')
            y += 'a' - 'A';
        if (x != y)
            return false;
    }
    return true;
}

struct Handle
{
    const void *xls = nullptr;
    ~Handle()
    {
#ifdef PM_ASAN
        // Elsewhere the process ends here, and freeing FreeXL's tables one by one would only
        // cost time.
        if (xls)
            freexl_close(xls);
#endif
    }
};

int refuse(Output &out, const std::string &reason)
{
    out.u8(HXlsProtocol::Failed);
    out.text(reason);
    return 1;
}

int readWorkbook(Output &out, const char *path, const std::string &only)
{
    Handle handle;
    int rc = freexl_open(path, &handle.xls);
    if (rc != FREEXL_OK)
        return refuse(out, freexlError(rc));
    unsigned int info = 0;
    if (freexl_get_info(handle.xls, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK &&
        info == FREEXL_BIFF_OBFUSCATED)
        return refuse(out, "the workbook is password protected");
    unsigned int count = 0;
    rc = freexl_get_info(handle.xls, FREEXL_BIFF_SHEET_COUNT, &count);
    if (rc != FREEXL_OK)
        return refuse(out, freexlError(rc));

    FormulaResults formulas;
    formulas.read(path);
    bool found = false;
    for (unsigned int s = 0; s < count; ++s) {
        const unsigned short index = static_cast<unsigned short>(s);
        const char *name = nullptr;
        rc = freexl_get_worksheet_name(handle.xls, index, &name);
        if (rc != FREEXL_OK || !name)
            return refuse(out, freexlError(rc));
        const std::string sheetName = name;
        const bool wanted = only.empty() ? true : (!found && sameSheetName(name, only));
        found = found || wanted;
        out.u8(HXlsProtocol::Sheet);
        out.text(sheetName);
        out.u8(wanted ? 1 : 0);
        if (!wanted)
            continue;
        rc = freexl_select_active_worksheet(handle.xls, index);
        unsigned int rows = 0;
        unsigned short columns = 0;
        if (rc == FREEXL_OK)
            rc = freexl_worksheet_dimensions(handle.xls, &rows, &columns);
        if (rc != FREEXL_OK)
            return refuse(out, "sheet \"" + sheetName + "\": " + freexlError(rc));
        // The stored results of formulas fill the cells FreeXL leaves empty, in the order of
        // the cells.
        const std::map<uint32_t, Result> &results = formulas.sheets[sheetName];
        auto next = results.begin();
        uint32_t lastRow = rows;
        if (!results.empty())
            lastRow = std::max(lastRow, (results.rbegin()->first >> 16) + 1);
        for (uint32_t r = 0; r < lastRow; ++r) {
            bool started = false;
            auto cell = [&](uint16_t column, char kind) {
                if (!started) {
                    out.u8(HXlsProtocol::Row);
                    out.u32(r);
                    started = true;
                }
                out.u16(column);
                out.u8(uint8_t(kind));
            };
            auto formula = [&](const Result &result, uint16_t column) {
                if (result.kind == HXlsProtocol::Number) {
                    cell(column, HXlsProtocol::Number);
                    out.f64(result.number);
                } else if (!result.text.empty()) {
                    cell(column, HXlsProtocol::Text);
                    out.text(result.text);
                }
            };
            for (unsigned short c = 0; r < rows && c < columns; ++c) {
                FreeXL_CellValue value;
                rc = freexl_get_cell_value(handle.xls, r, c, &value);
                if (rc != FREEXL_OK)
                    return refuse(out, "sheet \"" + sheetName + "\", row " + std::to_string(r + 1) +
                                           ": " + freexlError(rc));
                switch (value.type) {
                case FREEXL_CELL_INT:
                    cell(c, HXlsProtocol::Integer);
                    out.u32(uint32_t(value.value.int_value));
                    break;
                case FREEXL_CELL_DOUBLE:
                    cell(c, HXlsProtocol::Number);
                    out.f64(value.value.double_value);
                    break;
                case FREEXL_CELL_TEXT:
                case FREEXL_CELL_SST_TEXT:
                case FREEXL_CELL_DATE:
                case FREEXL_CELL_DATETIME:
                case FREEXL_CELL_TIME:
                    if (value.value.text_value && *value.value.text_value) {
                        cell(c, HXlsProtocol::Text);
                        out.text(value.value.text_value, std::strlen(value.value.text_value));
                    }
                    break;
                default:
                    if (next != results.end()) {
                        const uint32_t key = (r << 16) | c;
                        while (next != results.end() && next->first < key)
                            ++next;
                        if (next != results.end() && next->first == key)
                            formula(next->second, c);
                    }
                    break;
                }
            }
            // Results of cells beyond what FreeXL says the sheet holds.
            for (; next != results.end() && (next->first >> 16) == r; ++next) {
                if ((next->first & 0xFFFF) >= (r < rows ? columns : 0u))
                    formula(next->second, uint16_t(next->first & 0xFFFF));
            }
            while (next != results.end() && (next->first >> 16) <= r)
                ++next;
            if (started)
                out.u16(HXlsProtocol::EndOfRow);
        }
    }
    out.u8(HXlsProtocol::Done);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#elif !defined(PM_ASAN)
    // A damaged file must not make the reader take the machine's memory: FreeXL sizes its
    // tables by what the file claims.
    rlimit limit{rlim_t(2) << 30, rlim_t(2) << 30};
    setrlimit(RLIMIT_AS, &limit);
#endif
    std::string only;
    const char *path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--sheet") == 0 && i + 1 < argc)
            only = argv[++i];
        else if (!path)
            path = argv[i];
        else
            return 2;
    }
    if (!path) {
        std::fprintf(stderr, "usage: product-xlsread [--sheet <name>] <file.xls>\n");
        return 2;
    }
    gsf_init();
    Output out;
    out.bytes(HXlsProtocol::Magic, HXlsProtocol::MagicSize);
    const int status = readWorkbook(out, path, only);
    out.flush();
    return status;
}
