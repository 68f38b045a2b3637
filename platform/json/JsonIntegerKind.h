#pragma once

// Inside of the JSON library: which QVariant types hold integers and whether they are signed, for
// the two places that turn them into JSON numbers (JsonObject's stored kinds and the writer).

#include <QMetaType>

enum class JsonIntegerKind { None, Signed, Unsigned };

inline JsonIntegerKind jsonIntegerKind(int userType)
{
    switch (userType) {
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::Char:
    case QMetaType::SChar:
        return JsonIntegerKind::Signed;
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::UChar:
        return JsonIntegerKind::Unsigned;
    default:
        return JsonIntegerKind::None;
    }
}
