#include "platform/json/JsonWriter.h"

#include "platform/json/JsonIntegerKind.h"

#include <QStringList>
#include <QVariantHash>
#include <QVariantList>
#include <QVariantMap>

#include <charconv>
#include <cmath>

namespace {

// Matches the reader's limit, so whatever was read can be written again.
constexpr int kMaxDepth = 512;
constexpr int kIndent = 4;

class Writer
{
public:
    bool write(const QVariant& value, QByteArray& text)
    {
        if (!writeValue(value, 0))
            return false;
        m_text.append('\n');
        text = m_text;
        return true;
    }

    QString error() const { return m_error; }

private:
    void newLine(int depth)
    {
        m_text.append('\n');
        m_text.append(QByteArray(depth * kIndent, ' '));
    }

    void writeString(const QString& string)
    {
        static const char kHex[] = "0123456789abcdef";
        m_text.append('"');
        const QByteArray bytes = string.toUtf8();
        for (const char c : bytes) {
            switch (c) {
            case '"': m_text.append("\\\""); break;
            case '\\': m_text.append("\\\\"); break;
            case '\b': m_text.append("\\b"); break;
            case '\f': m_text.append("\\f"); break;
            case '\n': m_text.append("\\n"); break;
            case '\r': m_text.append("\\r"); break;
            case '\t': m_text.append("\\t"); break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    m_text.append("\\u00");
                    m_text.append(kHex[(c >> 4) & 0xF]);
                    m_text.append(kHex[c & 0xF]);
                } else {
                    m_text.append(c);
                }
            }
        }
        m_text.append('"');
    }

    void writeDouble(double number)
    {
        if (!std::isfinite(number)) {
            m_text.append("null");
            return;
        }
        char buffer[64];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
        const QByteArray digits(buffer, int(result.ptr - buffer));
        m_text.append(digits);
        // Keep a double a double when the text is read again.
        if (!digits.contains('.') && !digits.contains('e') && !digits.contains('E'))
            m_text.append(".0");
    }

    // `count` elements between `open` and `close`, one a line, each written by `writeElement(i)`.
    template<typename WriteElement>
    bool writeSequence(char open, char close, int count, int depth, WriteElement writeElement)
    {
        m_text.append(open);
        if (count == 0) {
            m_text.append(close);
            return true;
        }
        for (int index = 0; index < count; ++index) {
            if (index > 0)
                m_text.append(',');
            newLine(depth + 1);
            if (!writeElement(index))
                return false;
        }
        newLine(depth);
        m_text.append(close);
        return true;
    }

    template<typename Map>
    bool writeObject(const Map& members, const QStringList& keys, int depth)
    {
        return writeSequence('{', '}', keys.size(), depth, [&](int index) {
            writeString(keys.at(index));
            m_text.append(": ");
            return writeValue(members.value(keys.at(index)), depth + 1);
        });
    }

    bool writeArray(const QVariantList& elements, int depth)
    {
        return writeSequence('[', ']', elements.size(), depth,
                             [&](int index) { return writeValue(elements.at(index), depth + 1); });
    }

    bool writeValue(const QVariant& value, int depth)
    {
        if (depth > kMaxDepth) {
            m_error = QStringLiteral("value nested deeper than %1 levels").arg(kMaxDepth);
            return false;
        }
        switch (jsonIntegerKind(value.userType())) {
        case JsonIntegerKind::Signed:
            m_text.append(QByteArray::number(value.toLongLong()));
            return true;
        case JsonIntegerKind::Unsigned:
            m_text.append(QByteArray::number(value.toULongLong()));
            return true;
        case JsonIntegerKind::None:
            break;
        }
        switch (value.userType()) {
        case QMetaType::UnknownType:
        case QMetaType::Nullptr:
            m_text.append("null");
            return true;
        case QMetaType::Bool:
            m_text.append(value.toBool() ? "true" : "false");
            return true;
        case QMetaType::Double:
        case QMetaType::Float:
            writeDouble(value.toDouble());
            return true;
        case QMetaType::QVariantMap: {
            const QVariantMap members = value.toMap();
            return writeObject(members, members.keys(), depth);
        }
        case QMetaType::QVariantHash: {
            const QVariantHash members = value.toHash();
            QStringList keys = members.keys();
            keys.sort(); // the same order a map keeps
            return writeObject(members, keys, depth);
        }
        case QMetaType::QVariantList:
        case QMetaType::QStringList:
            return writeArray(value.toList(), depth);
        case QMetaType::QByteArray:
            writeString(QString::fromUtf8(value.toByteArray()));
            return true;
        default:
            if (value.canConvert<QVariantMap>()) {
                const QVariantMap members = value.toMap();
                return writeObject(members, members.keys(), depth);
            }
            if (value.canConvert<QString>())
                writeString(value.toString());
            else
                m_text.append("null");
            return true;
        }
    }

    QByteArray m_text;
    QString m_error;
};

} // namespace

bool JsonWriter::write(const QVariant& value, QByteArray& text, QString* error)
{
    Writer writer;
    if (!writer.write(value, text)) {
        if (error)
            *error = writer.error();
        return false;
    }
    return true;
}

QByteArray JsonWriter::toJson(const QVariant& value)
{
    QByteArray text;
    write(value, text);
    return text;
}
