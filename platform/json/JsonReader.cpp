#include "platform/json/JsonReader.h"

#include <QHash>
#include <QVariantList>
#include <QVariantMap>

#include <cstdint>
#include <limits>

namespace {

// Deeper documents are refused: the parser recurses once per level.
constexpr int kMaxDepth = 512;

class Parser
{
public:
    // Containers nested deeper than `keptDepth` (the root object or array is 1) are checked but
    // come out empty, and strings in them are not made.
    Parser(const QByteArray& text, int keptDepth)
        : m_begin(text.constData())
        , m_end(text.constData() + text.size())
        , m_pos(text.constData())
        , m_keptDepth(keptDepth)
    {
    }

    bool parseDocument(QVariant& value)
    {
        if (m_end - m_pos >= 3 && m_pos[0] == '\xEF' && m_pos[1] == '\xBB' && m_pos[2] == '\xBF')
            m_pos += 3;
        skipWhitespace();
        if (!parseValue(value, 0))
            return false;
        skipWhitespace();
        if (m_pos != m_end)
            return fail(QStringLiteral("unexpected text after the JSON value"));
        return true;
    }

    QString error() const { return m_error; }
    const QList<JsonReader::DuplicateKey>& duplicates() const { return m_duplicates; }

private:
    bool fail(const QString& what)
    {
        int line = 1;
        int column = 1;
        for (const char* c = m_begin; c < m_pos && c < m_end; ++c) {
            if (*c == '\n') {
                ++line;
                column = 1;
            } else if ((static_cast<unsigned char>(*c) & 0xC0) != 0x80) {
                ++column; // count characters, not the continuation bytes of UTF-8
            }
        }
        m_error = QStringLiteral("line %1, column %2: %3").arg(line).arg(column).arg(what);
        return false;
    }

    // Strings, numbers and literals hold no raw line feed: counting them here keeps m_line exact.
    void skipWhitespace()
    {
        while (m_pos < m_end && (*m_pos == ' ' || *m_pos == '\t' || *m_pos == '\n' || *m_pos == '\r')) {
            if (*m_pos == '\n')
                ++m_line;
            ++m_pos;
        }
    }

    bool parseValue(QVariant& value, int depth)
    {
        if (m_pos == m_end)
            return fail(QStringLiteral("unexpected end of text"));
        switch (*m_pos) {
        case '{':
            return parseObject(value, depth + 1);
        case '[':
            return parseArray(value, depth + 1);
        case '"': {
            if (depth > m_keptDepth)
                return parseString(nullptr);
            QString text;
            if (!parseString(&text))
                return false;
            value = text;
            return true;
        }
        case 't':
            return parseLiteral("true", QVariant(true), value);
        case 'f':
            return parseLiteral("false", QVariant(false), value);
        case 'n':
            return parseLiteral("null", QVariant::fromValue(nullptr), value);
        default:
            if (*m_pos == '-' || (*m_pos >= '0' && *m_pos <= '9'))
                return parseNumber(value);
            return fail(QStringLiteral("unexpected character '%1'").arg(QChar::fromLatin1(*m_pos)));
        }
    }

    bool parseLiteral(const char* word, const QVariant& literal, QVariant& value)
    {
        const char* c = m_pos;
        for (const char* w = word; *w; ++w, ++c) {
            if (c == m_end || *c != *w)
                return fail(QStringLiteral("invalid literal, expected %1").arg(QLatin1String(word)));
        }
        m_pos = c;
        value = literal;
        return true;
    }

    // The elements of an object or an array from its opening `{` or `[` at m_pos to `close`, each
    // read by `parseElement()` ("object" or "array" is `what` for the error texts).
    template<typename ParseElement>
    bool parseSequence(char close, const char* what, int depth, ParseElement parseElement)
    {
        if (depth > kMaxDepth)
            return fail(QStringLiteral("document nested deeper than %1 levels").arg(kMaxDepth));
        ++m_pos;
        skipWhitespace();
        if (m_pos < m_end && *m_pos == close) {
            ++m_pos;
            return true;
        }
        for (;;) {
            skipWhitespace();
            if (!parseElement())
                return false;
            skipWhitespace();
            if (m_pos == m_end)
                return fail(QStringLiteral("unterminated %1").arg(QLatin1String(what)));
            if (*m_pos == close) {
                ++m_pos;
                return true;
            }
            if (*m_pos != ',')
                return fail(QStringLiteral("expected ',' or '%1' in an %2")
                                .arg(QChar::fromLatin1(close), QLatin1String(what)));
            ++m_pos;
        }
    }

    bool parseObject(QVariant& value, int depth)
    {
        if (depth > m_keptDepth)
            return skipObject(value, depth);
        QVariantMap members;
        const bool parsed = parseSequence('}', "object", depth, [&] {
            if (m_pos == m_end || *m_pos != '"')
                return fail(QStringLiteral("expected a member name in double quotes"));
            QString key;
            if (!parseString(&key, &m_names))
                return false;
            skipWhitespace();
            if (m_pos == m_end || *m_pos != ':')
                return fail(QStringLiteral("expected ':' after a member name"));
            ++m_pos;
            skipWhitespace();
            // One lookup finds the member's place; a repeated name keeps its last value.
            const int known = members.size();
            QVariant& member = members[key];
            if (members.size() == known)
                m_duplicates.append(JsonReader::DuplicateKey{key, m_line});
            return parseValue(member, depth);
        });
        if (parsed)
            value = members;
        return parsed;
    }

    // An object whose members are checked, not kept.
    bool skipObject(QVariant& value, int depth)
    {
        const bool parsed = parseSequence('}', "object", depth, [&] {
            if (m_pos == m_end || *m_pos != '"')
                return fail(QStringLiteral("expected a member name in double quotes"));
            if (!parseString(nullptr))
                return false;
            skipWhitespace();
            if (m_pos == m_end || *m_pos != ':')
                return fail(QStringLiteral("expected ':' after a member name"));
            ++m_pos;
            skipWhitespace();
            QVariant member;
            return parseValue(member, depth);
        });
        if (parsed)
            value = QVariantMap();
        return parsed;
    }

    bool parseArray(QVariant& value, int depth)
    {
        if (depth > m_keptDepth) {
            QVariant element;
            const bool parsed = parseSequence(']', "array", depth, [&] { return parseValue(element, depth); });
            if (parsed)
                value = QVariantList();
            return parsed;
        }
        QVariantList elements;
        const bool parsed = parseSequence(']', "array", depth, [&] {
            elements.append(QVariant());
            return parseValue(elements.last(), depth);
        });
        if (parsed)
            value = elements;
        return parsed;
    }

    bool parseHex4(uint& unit)
    {
        if (m_end - m_pos < 4)
            return fail(QStringLiteral("incomplete \\u escape"));
        unit = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = m_pos[i];
            unit <<= 4;
            if (c >= '0' && c <= '9')
                unit |= uint(c - '0');
            else if (c >= 'a' && c <= 'f')
                unit |= uint(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                unit |= uint(c - 'A' + 10);
            else
                return fail(QStringLiteral("invalid \\u escape"));
        }
        m_pos += 4;
        return true;
    }

    static void appendUtf8(QByteArray& bytes, uint codePoint)
    {
        if (codePoint < 0x80) {
            bytes.append(char(codePoint));
        } else if (codePoint < 0x800) {
            bytes.append(char(0xC0 | (codePoint >> 6)));
            bytes.append(char(0x80 | (codePoint & 0x3F)));
        } else if (codePoint < 0x10000) {
            bytes.append(char(0xE0 | (codePoint >> 12)));
            bytes.append(char(0x80 | ((codePoint >> 6) & 0x3F)));
            bytes.append(char(0x80 | (codePoint & 0x3F)));
        } else {
            bytes.append(char(0xF0 | (codePoint >> 18)));
            bytes.append(char(0x80 | ((codePoint >> 12) & 0x3F)));
            bytes.append(char(0x80 | ((codePoint >> 6) & 0x3F)));
            bytes.append(char(0x80 | (codePoint & 0x3F)));
        }
    }

    bool parseEscape(QByteArray& bytes)
    {
        if (m_pos == m_end)
            return fail(QStringLiteral("unterminated string"));
        const char c = *m_pos++;
        switch (c) {
        case '"': bytes.append('"'); return true;
        case '\\': bytes.append('\\'); return true;
        case '/': bytes.append('/'); return true;
        case 'b': bytes.append('\b'); return true;
        case 'f': bytes.append('\f'); return true;
        case 'n': bytes.append('\n'); return true;
        case 'r': bytes.append('\r'); return true;
        case 't': bytes.append('\t'); return true;
        case 'u': break;
        default:
            --m_pos;
            return fail(QStringLiteral("invalid escape '\\%1'").arg(QChar::fromLatin1(c)));
        }
        uint unit = 0;
        if (!parseHex4(unit))
            return false;
        if (unit >= 0xDC00 && unit <= 0xDFFF)
            return fail(QStringLiteral("lone low surrogate in a \\u escape"));
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            uint low = 0;
            if (m_end - m_pos < 2 || m_pos[0] != '\\' || m_pos[1] != 'u')
                return fail(QStringLiteral("lone high surrogate in a \\u escape"));
            m_pos += 2;
            if (!parseHex4(low))
                return false;
            if (low < 0xDC00 || low > 0xDFFF)
                return fail(QStringLiteral("lone high surrogate in a \\u escape"));
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
        appendUtf8(bytes, unit);
        return true;
    }

    // Moves m_pos over the characters of a string that stand for themselves, to the next quote,
    // backslash, control character or the end; `ascii` turns false at a byte above 0x7F.
    bool skipPlainCharacters(bool& ascii)
    {
        while (m_pos < m_end && *m_pos != '"' && *m_pos != '\\'
               && static_cast<unsigned char>(*m_pos) >= 0x20) {
            if (static_cast<unsigned char>(*m_pos) < 0x80) {
                ++m_pos;
                continue;
            }
            // QString::fromUtf8 would turn a bad sequence into U+FFFD without a word.
            const int length = utf8SequenceLength();
            if (length == 0)
                return fail(QStringLiteral("invalid UTF-8"));
            ascii = false;
            m_pos += length;
        }
        return true;
    }

    static QString plainText(const char* bytes, int length, bool ascii)
    {
        return ascii ? QString::fromLatin1(bytes, length) : QString::fromUtf8(bytes, length);
    }

    // A string from its opening quote at m_pos, checked and, with `text`, made. With `names`, a string without escapes is looked
    // up there by its bytes first and added when new: member names repeat in every object of a
    // list, and sharing one QString spares converting and allocating each of them again.
    bool parseString(QString* text, QHash<QByteArray, QString>* names = nullptr)
    {
        ++m_pos; // '"'
        const char* run = m_pos;
        bool ascii = true;
        if (!skipPlainCharacters(ascii))
            return false;
        if (m_pos < m_end && *m_pos == '"') {
            const int length = int(m_pos - run);
            ++m_pos;
            if (!text)
                return true;
            if (!names) {
                *text = plainText(run, length, ascii);
                return true;
            }
            const QByteArray bytes = QByteArray::fromRawData(run, length); // the text outlives the parser
            const auto known = names->constFind(bytes);
            *text = known != names->constEnd() ? *known : plainText(run, length, ascii);
            if (known == names->constEnd())
                names->insert(bytes, *text);
            return true;
        }
        QByteArray bytes(run, int(m_pos - run));
        for (;;) {
            if (m_pos == m_end)
                return fail(QStringLiteral("unterminated string"));
            if (*m_pos == '"') {
                ++m_pos;
                break;
            }
            if (*m_pos != '\\')
                return fail(QStringLiteral("control character in a string"));
            ++m_pos;
            if (!parseEscape(bytes))
                return false;
            run = m_pos;
            if (!skipPlainCharacters(ascii))
                return false;
            bytes.append(run, int(m_pos - run));
        }
        // With its size: the QByteArray overload stops at the first NUL, which \u0000 makes.
        if (text)
            *text = QString::fromUtf8(bytes.constData(), bytes.size());
        return true;
    }

    // Length of the well-formed UTF-8 sequence at m_pos (RFC 3629: no overlong forms, no
    // surrogates, nothing above U+10FFFF); 0 when the bytes there are none.
    int utf8SequenceLength() const
    {
        const auto* bytes = reinterpret_cast<const unsigned char*>(m_pos);
        const unsigned char lead = bytes[0];
        int length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0)
                low = 0xA0;
            else if (lead == 0xED)
                high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0)
                low = 0x90;
            else if (lead == 0xF4)
                high = 0x8F;
        } else {
            return 0;
        }
        if (m_end - m_pos < length || bytes[1] < low || bytes[1] > high)
            return 0;
        for (int i = 2; i < length; ++i) {
            if ((bytes[i] & 0xC0) != 0x80)
                return 0;
        }
        return length;
    }

    bool parseNumber(QVariant& value)
    {
        const char* start = m_pos;
        const bool negative = *m_pos == '-';
        if (negative)
            ++m_pos;
        if (m_pos == m_end || *m_pos < '0' || *m_pos > '9')
            return fail(QStringLiteral("invalid number"));
        // Integer part: accumulate exactly while it fits in 64 bits.
        bool fits = true;
        quint64 magnitude = 0;
        if (*m_pos == '0') {
            ++m_pos;
        } else {
            while (m_pos < m_end && *m_pos >= '0' && *m_pos <= '9') {
                const quint64 digit = quint64(*m_pos - '0');
                if (magnitude > (std::numeric_limits<quint64>::max() - digit) / 10)
                    fits = false;
                else
                    magnitude = magnitude * 10 + digit;
                ++m_pos;
            }
        }
        if (m_pos < m_end && *m_pos >= '0' && *m_pos <= '9')
            return fail(QStringLiteral("invalid number: leading zero"));
        bool integral = true;
        if (m_pos < m_end && *m_pos == '.') {
            integral = false;
            ++m_pos;
            if (m_pos == m_end || *m_pos < '0' || *m_pos > '9')
                return fail(QStringLiteral("invalid number: digits expected after '.'"));
            while (m_pos < m_end && *m_pos >= '0' && *m_pos <= '9')
                ++m_pos;
        }
        if (m_pos < m_end && (*m_pos == 'e' || *m_pos == 'E')) {
            integral = false;
            ++m_pos;
            if (m_pos < m_end && (*m_pos == '+' || *m_pos == '-'))
                ++m_pos;
            if (m_pos == m_end || *m_pos < '0' || *m_pos > '9')
                return fail(QStringLiteral("invalid number: digits expected in the exponent"));
            while (m_pos < m_end && *m_pos >= '0' && *m_pos <= '9')
                ++m_pos;
        }

        constexpr quint64 kMaxSigned = quint64(std::numeric_limits<qint64>::max());
        if (integral && fits) {
            if (!negative) {
                if (magnitude <= kMaxSigned)
                    value = QVariant(qint64(magnitude));
                else
                    value = QVariant(quint64(magnitude));
                return true;
            }
            if (magnitude <= kMaxSigned) {
                value = QVariant(-qint64(magnitude));
                return true;
            }
            if (magnitude == kMaxSigned + 1) {
                value = QVariant(std::numeric_limits<qint64>::min());
                return true;
            }
        }
        // A fraction, an exponent or an integer beyond 64 bits: a double.
        bool ok = false;
        const double number = QByteArray(start, int(m_pos - start)).toDouble(&ok);
        if (!ok) {
            m_pos = start;
            return fail(QStringLiteral("number out of range"));
        }
        value = QVariant(number);
        return true;
    }

    const char* m_begin;
    const char* m_end;
    const char* m_pos;
    int m_line = 1;
    const int m_keptDepth;
    QString m_error;
    QList<JsonReader::DuplicateKey> m_duplicates;
    QHash<QByteArray, QString> m_names; // member names met so far, by their bytes in the text
};

} // namespace

bool JsonReader::parse(const QByteArray& text, QVariant& value, QString* error,
                       QList<DuplicateKey>* duplicates)
{
    Parser parser(text, std::numeric_limits<int>::max());
    QVariant parsed;
    if (!parser.parseDocument(parsed)) {
        if (error)
            *error = parser.error();
        return false;
    }
    value = parsed;
    if (duplicates)
        *duplicates = parser.duplicates();
    return true;
}

bool JsonReader::parseOutline(const QByteArray& text, QVariant& value, QString* error)
{
    Parser parser(text, 1);
    QVariant parsed;
    if (!parser.parseDocument(parsed)) {
        if (error)
            *error = parser.error();
        return false;
    }
    value = parsed;
    return true;
}
