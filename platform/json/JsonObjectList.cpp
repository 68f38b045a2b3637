#include "platform/json/JsonObjectList.h"

JsonObjectList::JsonObjectList(std::initializer_list<JsonObject> objects)
    : QList<JsonObject>(objects)
{
}

JsonObjectList::iterator JsonObjectList::findFromField(const QString& key, const QVariant& value)
{
    for (auto object = begin(); object != end(); ++object) {
        QVariant member;
        if (object->getValue(key, member) == JsonObject::Found && member == value)
            return object;
    }
    return end();
}

JsonObjectList::const_iterator JsonObjectList::findFromField(const QString& key, const QVariant& value) const
{
    for (auto object = constBegin(); object != constEnd(); ++object) {
        QVariant member;
        if (object->getValue(key, member) == JsonObject::Found && member == value)
            return object;
    }
    return constEnd();
}

QVariantList JsonObjectList::toQVariantList() const
{
    QVariantList elements;
    elements.reserve(size());
    for (const JsonObject& object : *this)
        elements.append(object.toQVariantMap());
    return elements;
}

JsonObjectList JsonObjectList::fromQVariant(const QVariant& value)
{
    JsonObjectList objects;
    const QVariantList elements = value.toList();
    for (const QVariant& element : elements) {
        JsonObject object;
        if (object.setContent(element))
            objects.append(object);
    }
    return objects;
}
