#pragma once

// One JSON object as a value: key to QVariant, keys kept and written in QString order. Copies are
// independent (implicitly shared). Not synchronised: share copies between threads, not one object.
//
// Content is held in canonical JSON kinds: QVariantMap (object), QVariantList (array), QString,
// bool, qint64 or quint64 (integers; quint64 only above the qint64 range), double, and
// QVariant::fromValue(nullptr) for null. setValue converts what it is given to these kinds.
// Integers are read and written as text digits, never through double, so 18446744073709551615
// survives a save and a load.
//
// Getters answer a ConvertResult and change the out argument only when they answer Found.
// Types are strict (a string is not a number, a number is not a string), with one exception:
// getBoolean also accepts the texts "true" and "false", which the XML flash file reader produces.

#include "platform/json/JsonReader.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <list>
#include <map>

class QIODevice;
class JsonObjectList;
class JsonObjectMap;

class JsonObject
{
public:
    // Outcome of every typed read: 0 found and stored, 1 present with another kind (or, for an
    // enumeration, a word outside its table), 2 absent.
    enum ConvertResult { Found = 0, WrongType = 1, Absent = 2 };

    JsonObject();
    // `content` is converted to canonical kinds (see setContent).
    explicit JsonObject(const QVariantMap& content);

    // Parse JSON text whose root is an object. On failure the content is unchanged and `error`
    // (when not null) says where and why ("line 3, column 7: ..."). On success `duplicates` (when
    // not null) lists the member names written twice in one object (the last value is kept).
    bool loadDevice(QIODevice& device, QString* error = nullptr,
                    QList<JsonReader::DuplicateKey>* duplicates = nullptr);
    bool loadMemory(const QByteArray& text, QString* error = nullptr,
                    QList<JsonReader::DuplicateKey>* duplicates = nullptr);
    bool loadFile(const QString& path, QString* error = nullptr);
    // Replaces the content by a variant holding a map (QVariantMap, QVariantHash, a JsonObject or a
    // Qt JSON object); false, content unchanged, for anything else.
    bool setContent(const QVariant& content);

    // Indented JSON text (four blanks a level), ending with a line feed; empty when the content is
    // nested too deep to write (the saves then fail).
    QByteArray toJson() const;
    bool saveToDevice(QIODevice& device, QString* error = nullptr) const;
    // Replaces the file only when the whole text was written.
    bool saveToFile(const QString& path, QString* error = nullptr) const;

    QVariantMap toQVariantMap() const;
    QStringList keys() const;
    bool isEmpty() const;
    void clear();
    void removeValue(const QString& key);

    // Found when the key is present (any value, null included), Absent otherwise.
    ConvertResult hasValue(const QString& key) const;
    // Found when the key holds null, WrongType when it holds something else, Absent otherwise.
    ConvertResult hasNullValue(const QString& key) const;
    // Found when the key holds an object.
    ConvertResult hasObject(const QString& key) const;

    ConvertResult getString(const QString& key, QString& value) const;
    // JSON true/false, or the texts "true"/"false" exactly.
    ConvertResult getBoolean(const QString& key, bool& value) const;
    // An integer (or an integral floating-point number) in the 32-bit signed range.
    ConvertResult getInt32(const QString& key, int& value) const;
    // A non-negative integer up to 18446744073709551615 (or an integral floating-point number up
    // to 2^53). Two overloads: uint64_t is unsigned long on Linux, quint64 unsigned long long.
    ConvertResult getUInt64(const QString& key, unsigned long long& value) const;
    ConvertResult getUInt64(const QString& key, unsigned long& value) const;
    ConvertResult getObject(const QString& key, JsonObject& value) const;
    // An object whose members are all objects.
    ConvertResult getObjectMap(const QString& key, JsonObjectMap& value) const;
    // An array whose elements are all objects.
    ConvertResult getObjectList(const QString& key, JsonObjectList& value) const;
    ConvertResult getMap(const QString& key, QVariantMap& value) const;
    // An array whose elements are all strings.
    ConvertResult getStringList(const QString& key, QStringList& value) const;
    // Any value, null included.
    ConvertResult getValue(const QString& key, QVariant& value) const;

    // Word of `table` (exact match, case included) read from a value that converts to text
    // (QVariant::canConvert<QString>): Absent when the key is absent, WrongType when the value is
    // no text or no word of the table; `value` changes only on Found.
    template<typename T>
    ConvertResult getEnum(const QString& key, const std::map<QString, T>& table, T& value) const;
    // The words of an array, appended to `values` in order: Absent when the key is absent,
    // WrongType when the value is no list or at the first element that is no word of the table
    // (the words appended before it stay).
    template<typename T>
    ConvertResult getEnumList(const QString& key, const std::map<QString, T>& table,
                              std::list<T>& values) const;

    // Sets or replaces the key.
    void setValue(const QString& key, const QString& value);
    void setValue(const QString& key, const char* value);
    void setValue(const QString& key, QLatin1String value);
    void setValue(const QString& key, bool value);
    void setValue(const QString& key, int value);
    void setValue(const QString& key, unsigned int value);
    void setValue(const QString& key, long value);
    void setValue(const QString& key, unsigned long value);
    void setValue(const QString& key, long long value);
    void setValue(const QString& key, unsigned long long value);
    void setValue(const QString& key, double value);
    // An invalid variant (or a null one of no other kind) is written as null; types without a
    // JSON form become text when Qt converts them to text, null otherwise.
    void setValue(const QString& key, const QVariant& value);
    void setValue(const QString& key, const QVariantMap& value);
    void setValue(const QString& key, const QVariantList& value);
    void setValue(const QString& key, const QStringList& value);
    void setValue(const QString& key, const JsonObject& value);
    void setValue(const QString& key, const JsonObjectMap& value);
    void setValue(const QString& key, const JsonObjectList& value);

    bool operator==(const JsonObject& other) const;
    bool operator!=(const JsonObject& other) const;

private:
    // The one lookup of every typed read: Absent when `key` is absent; otherwise `convert(value)`
    // stores the value into the caller's out argument and answers true, or refuses it (WrongType).
    template<typename Convert>
    ConvertResult convertValue(const QString& key, Convert convert) const;
    // An object around content that is already in the stored kinds (no conversion).
    static JsonObject fromStored(const QVariantMap& content);

    QVariantMap m_content;
};

Q_DECLARE_METATYPE(JsonObject)

template<typename Convert>
JsonObject::ConvertResult JsonObject::convertValue(const QString& key, Convert convert) const
{
    const auto found = m_content.constFind(key);
    if (found == m_content.constEnd())
        return Absent;
    return convert(*found) ? Found : WrongType;
}

template<typename T>
JsonObject::ConvertResult JsonObject::getEnum(const QString& key, const std::map<QString, T>& table,
                                              T& value) const
{
    return convertValue(key, [&](const QVariant& found) {
        if (!found.canConvert<QString>())
            return false;
        const auto word = table.find(found.toString());
        if (word == table.end())
            return false;
        value = word->second;
        return true;
    });
}

template<typename T>
JsonObject::ConvertResult JsonObject::getEnumList(const QString& key,
                                                  const std::map<QString, T>& table,
                                                  std::list<T>& values) const
{
    return convertValue(key, [&](const QVariant& found) {
        if (!found.canConvert<QVariantList>())
            return false;
        const QVariantList elements = found.toList();
        for (const QVariant& element : elements) {
            if (!element.canConvert<QString>())
                return false;
            const auto word = table.find(element.toString());
            if (word == table.end())
                return false;
            values.push_back(word->second);
        }
        return true;
    });
}

// Either header gives all three JSON classes.
#include "platform/json/JsonObjectList.h"
#include "platform/json/JsonObjectMap.h"
