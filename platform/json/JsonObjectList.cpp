#include "platform/json/JsonObjectList.h"

#include <algorithm>

JsonObjectList::JsonObjectList(std::initializer_list<JsonObject> objects)
    : QList<JsonObject>(objects)
{
}

JsonObjectList::iterator JsonObjectList::findFromField(const QString& key, const QVariant& value)
{
    // The position is taken before begin(), which may detach the shared list.
    const int index = int(qAsConst(*this).findFromField(key, value) - constBegin());
    return begin() + index;
}

JsonObjectList::const_iterator JsonObjectList::findFromField(const QString& key, const QVariant& value) const
{
    return std::find_if(constBegin(), constEnd(), [&](const JsonObject& object) {
        QVariant member;
        return object.getValue(key, member) == JsonObject::Found && member == value;
    });
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
