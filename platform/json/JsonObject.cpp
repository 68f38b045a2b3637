#include "platform/json/JsonObject.h"

#include "platform/json/JsonIntegerKind.h"
#include "platform/json/JsonReader.h"
#include "platform/json/JsonWriter.h"

#include <QFile>
#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QSaveFile>

#include <cmath>
#include <limits>

namespace {

const QVariant& jsonNull()
{
    static const QVariant null = QVariant::fromValue(nullptr);
    return null;
}

// The value in the kinds that JSON text can hold, so that what is stored reads back the same
// before and after a save and a load (see the class comment).
QVariant canonical(const QVariant& value)
{
    const int type = value.userType();
    if (type == qMetaTypeId<JsonObject>())
        return value.value<JsonObject>().toQVariantMap();
    if (type == qMetaTypeId<JsonObjectList>())
        return value.value<JsonObjectList>().toQVariantList();
    switch (jsonIntegerKind(type)) {
    case JsonIntegerKind::Signed:
        return QVariant(value.toLongLong());
    case JsonIntegerKind::Unsigned: {
        const quint64 number = value.toULongLong();
        if (number <= quint64(std::numeric_limits<qint64>::max()))
            return QVariant(qint64(number));
        return QVariant(number);
    }
    case JsonIntegerKind::None:
        break;
    }
    switch (type) {
    case QMetaType::UnknownType:
    case QMetaType::Nullptr:
        return jsonNull();
    case QMetaType::Bool:
    case QMetaType::QString:
    case QMetaType::Double:
        return value;
    case QMetaType::Float:
        return QVariant(value.toDouble());
    case QMetaType::QByteArray:
    {
        const QByteArray bytes = value.toByteArray();
        return QString::fromUtf8(bytes.constData(), bytes.size());   // NUL bytes included
    }
    case QMetaType::QVariantMap: {
        QVariantMap members = value.toMap();
        for (auto member = members.begin(); member != members.end(); ++member)
            *member = canonical(*member);
        return members;
    }
    case QMetaType::QVariantHash: {
        const QVariantHash hash = value.toHash();
        QVariantMap members;
        for (auto member = hash.constBegin(); member != hash.constEnd(); ++member)
            members.insert(member.key(), canonical(member.value()));
        return members;
    }
    case QMetaType::QVariantList: {
        QVariantList elements = value.toList();
        for (QVariant& element : elements)
            element = canonical(element);
        return elements;
    }
    case QMetaType::QStringList: {
        QVariantList elements;
        for (const QString& text : value.toStringList())
            elements.append(text);
        return elements;
    }
    case QMetaType::QJsonValue:
        return canonical(value.toJsonValue().toVariant());
    case QMetaType::QJsonObject:
        return canonical(value.toJsonObject().toVariantMap());
    case QMetaType::QJsonArray:
        return canonical(value.toJsonArray().toVariantList());
    case QMetaType::QJsonDocument:
        return canonical(value.toJsonDocument().toVariant());
    default:
        if (value.canConvert<QString>())
            return value.toString();
        return jsonNull();
    }
}

bool isNullValue(const QVariant& value)
{
    return value.userType() == QMetaType::Nullptr || !value.isValid();
}

bool isObject(const QVariant& value)
{
    return value.userType() == QMetaType::QVariantMap;
}

// An array whose elements are all of `elementType`, each converted by `convert` into `out`;
// `out` is left alone when the value is no such array.
template<typename List, typename Convert>
bool convertElements(const QVariant& value, int elementType, List& out, Convert convert)
{
    if (value.userType() != QMetaType::QVariantList)
        return false;
    List converted;
    const QVariantList elements = value.toList();
    for (const QVariant& element : elements) {
        if (element.userType() != elementType)
            return false;
        converted.append(convert(element));
    }
    out = converted;
    return true;
}

// Integral value of a stored number; false for anything else.
bool toSigned(const QVariant& value, qint64& number)
{
    switch (value.userType()) {
    case QMetaType::LongLong:
        number = value.toLongLong();
        return true;
    case QMetaType::ULongLong:
        return false; // above the qint64 range by construction
    case QMetaType::Double: {
        const double real = value.toDouble();
        if (!std::isfinite(real) || std::trunc(real) != real || std::fabs(real) > 9007199254740992.0)
            return false;
        number = qint64(real);
        return true;
    }
    default:
        return false;
    }
}

bool toUnsigned(const QVariant& value, quint64& number)
{
    if (value.userType() == QMetaType::ULongLong) {
        number = value.toULongLong();
        return true;
    }
    qint64 signedNumber = 0;
    if (!toSigned(value, signedNumber) || signedNumber < 0)
        return false;
    number = quint64(signedNumber);
    return true;
}

} // namespace

JsonObject::JsonObject() = default;

JsonObject::JsonObject(const QVariantMap& content)
    : m_content(canonical(content).toMap())
{
}

bool JsonObject::loadDevice(QIODevice& device, QString* error, QList<JsonReader::DuplicateKey>* duplicates)
{
    if (!device.isReadable()) {
        if (error)
            *error = QStringLiteral("device not readable: %1").arg(device.errorString());
        return false;
    }
    return loadMemory(device.readAll(), error, duplicates);
}

bool JsonObject::loadMemory(const QByteArray& text, QString* error, QList<JsonReader::DuplicateKey>* duplicates)
{
    QVariant root;
    QList<JsonReader::DuplicateKey> repeated;
    if (!JsonReader::parse(text, root, error, &repeated))
        return false;
    if (!isObject(root)) {
        if (error)
            *error = QStringLiteral("the JSON document is not an object");
        return false;
    }
    m_content = root.toMap();
    if (duplicates)
        *duplicates = repeated;
    return true;
}

bool JsonObject::loadFile(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot open %1: %2").arg(path, file.errorString());
        return false;
    }
    return loadDevice(file, error);
}

bool JsonObject::setContent(const QVariant& content)
{
    const QVariant converted = canonical(content);
    if (!isObject(converted))
        return false;
    m_content = converted.toMap();
    return true;
}

QByteArray JsonObject::toJson() const
{
    return JsonWriter::toJson(m_content);
}

bool JsonObject::saveToDevice(QIODevice& device, QString* error) const
{
    QByteArray text;
    if (!JsonWriter::write(m_content, text, error))
        return false; // nested too deep to write: no empty document reported as saved
    if (!device.isWritable() || device.write(text) != text.size()) {
        if (error)
            *error = QStringLiteral("cannot write the JSON text: %1").arg(device.errorString());
        return false;
    }
    return true;
}

bool JsonObject::saveToFile(const QString& path, QString* error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = QStringLiteral("cannot open %1: %2").arg(path, file.errorString());
        return false;
    }
    if (!saveToDevice(file, error))
        return false; // QSaveFile leaves the previous file as it was
    if (!file.commit()) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QVariantMap JsonObject::toQVariantMap() const
{
    return m_content;
}

QStringList JsonObject::keys() const
{
    return m_content.keys();
}

bool JsonObject::isEmpty() const
{
    return m_content.isEmpty();
}

void JsonObject::clear()
{
    m_content.clear();
}

void JsonObject::removeValue(const QString& key)
{
    m_content.remove(key);
}

JsonObject::ConvertResult JsonObject::hasValue(const QString& key) const
{
    return m_content.contains(key) ? Found : Absent;
}

JsonObject::ConvertResult JsonObject::hasNullValue(const QString& key) const
{
    return convertValue(key, isNullValue);
}

JsonObject::ConvertResult JsonObject::hasObject(const QString& key) const
{
    return convertValue(key, isObject);
}

JsonObject::ConvertResult JsonObject::getString(const QString& key, QString& value) const
{
    return convertValue(key, [&value](const QVariant& found) {
        if (found.userType() != QMetaType::QString)
            return false;
        value = found.toString();
        return true;
    });
}

JsonObject::ConvertResult JsonObject::getBoolean(const QString& key, bool& value) const
{
    return convertValue(key, [&value](const QVariant& found) {
        if (found.userType() == QMetaType::Bool) {
            value = found.toBool();
            return true;
        }
        const QString text = found.userType() == QMetaType::QString ? found.toString() : QString();
        if (text != QLatin1String("true") && text != QLatin1String("false"))
            return false;
        value = text == QLatin1String("true");
        return true;
    });
}

JsonObject::ConvertResult JsonObject::getInt32(const QString& key, int& value) const
{
    return convertValue(key, [&value](const QVariant& found) {
        qint64 number = 0;
        if (!toSigned(found, number) || number < std::numeric_limits<int>::min()
            || number > std::numeric_limits<int>::max())
            return false;
        value = int(number);
        return true;
    });
}

JsonObject::ConvertResult JsonObject::getUInt64(const QString& key, unsigned long long& value) const
{
    return convertValue(key, [&value](const QVariant& found) { return toUnsigned(found, value); });
}

JsonObject::ConvertResult JsonObject::getUInt64(const QString& key, unsigned long& value) const
{
    static_assert(sizeof(unsigned long) == sizeof(unsigned long long),
                  "uint64_t is unsigned long on the 64-bit systems we build for");
    unsigned long long number = 0;
    const ConvertResult result = getUInt64(key, number);
    if (result == Found)
        value = static_cast<unsigned long>(number);
    return result;
}

JsonObject::ConvertResult JsonObject::getObject(const QString& key, JsonObject& value) const
{
    return convertValue(key, [&value](const QVariant& found) {
        if (!isObject(found))
            return false;
        value = fromStored(found.toMap());
        return true;
    });
}

JsonObject::ConvertResult JsonObject::getObjectMap(const QString& key, JsonObjectMap& value) const
{
    return convertValue(key, [&value](const QVariant& found) {
        if (!isObject(found))
            return false;
        const QVariantMap members = found.toMap();
        JsonObjectMap objects;
        for (auto member = members.constBegin(); member != members.constEnd(); ++member) {
            if (!isObject(*member))
                return false;
            objects.insert(member.key(), fromStored(member->toMap()));
        }
        value = objects;
        return true;
    });
}

JsonObject::ConvertResult JsonObject::getObjectList(const QString& key, JsonObjectList& value) const
{
    return convertValue(key, [&value](const QVariant& found) {
        return convertElements(found, QMetaType::QVariantMap, value,
                               [](const QVariant& element) { return fromStored(element.toMap()); });
    });
}

JsonObject::ConvertResult JsonObject::getMap(const QString& key, QVariantMap& value) const
{
    return convertValue(key, [&value](const QVariant& found) {
        if (!isObject(found))
            return false;
        value = found.toMap();
        return true;
    });
}

JsonObject::ConvertResult JsonObject::getStringList(const QString& key, QStringList& value) const
{
    return convertValue(key, [&value](const QVariant& found) {
        return convertElements(found, QMetaType::QString, value,
                               [](const QVariant& element) { return element.toString(); });
    });
}

JsonObject::ConvertResult JsonObject::getValue(const QString& key, QVariant& value) const
{
    return convertValue(key, [&value](const QVariant& found) {
        value = found;
        return true;
    });
}

JsonObject JsonObject::fromStored(const QVariantMap& content)
{
    JsonObject object;
    object.m_content = content;
    return object;
}

void JsonObject::setValue(const QString& key, const QString& value)
{
    m_content.insert(key, value);
}

void JsonObject::setValue(const QString& key, const char* value)
{
    m_content.insert(key, value ? QVariant(QString::fromUtf8(value)) : jsonNull());
}

void JsonObject::setValue(const QString& key, QLatin1String value)
{
    m_content.insert(key, QString(value));
}

void JsonObject::setValue(const QString& key, bool value)
{
    m_content.insert(key, value);
}

void JsonObject::setValue(const QString& key, int value)
{
    m_content.insert(key, QVariant(qint64(value)));
}

void JsonObject::setValue(const QString& key, unsigned int value)
{
    m_content.insert(key, QVariant(qint64(value)));
}

void JsonObject::setValue(const QString& key, long value)
{
    m_content.insert(key, QVariant(qint64(value)));
}

void JsonObject::setValue(const QString& key, unsigned long value)
{
    m_content.insert(key, canonical(QVariant(quint64(value))));
}

void JsonObject::setValue(const QString& key, long long value)
{
    m_content.insert(key, QVariant(qint64(value)));
}

void JsonObject::setValue(const QString& key, unsigned long long value)
{
    m_content.insert(key, canonical(QVariant(quint64(value))));
}

void JsonObject::setValue(const QString& key, double value)
{
    m_content.insert(key, value);
}

void JsonObject::setValue(const QString& key, const QVariant& value)
{
    m_content.insert(key, canonical(value));
}

void JsonObject::setValue(const QString& key, const QVariantMap& value)
{
    m_content.insert(key, canonical(value));
}

void JsonObject::setValue(const QString& key, const QVariantList& value)
{
    m_content.insert(key, canonical(value));
}

void JsonObject::setValue(const QString& key, const QStringList& value)
{
    m_content.insert(key, canonical(value));
}

void JsonObject::setValue(const QString& key, const JsonObject& value)
{
    m_content.insert(key, value.m_content);
}

void JsonObject::setValue(const QString& key, const JsonObjectMap& value)
{
    m_content.insert(key, value.toQVariantMap());
}

void JsonObject::setValue(const QString& key, const JsonObjectList& value)
{
    m_content.insert(key, value.toQVariantList());
}

bool JsonObject::operator==(const JsonObject& other) const
{
    return m_content == other.m_content;
}

bool JsonObject::operator!=(const JsonObject& other) const
{
    return !(*this == other);
}
