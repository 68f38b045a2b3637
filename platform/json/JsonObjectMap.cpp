#include "platform/json/JsonObjectMap.h"

QVariantMap JsonObjectMap::toQVariantMap() const
{
    QVariantMap members;
    for (auto member = constBegin(); member != constEnd(); ++member)
        members.insert(member.key(), member->toQVariantMap());
    return members;
}
