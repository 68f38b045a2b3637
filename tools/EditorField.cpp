#include "tools/EditorField.h"

#include <QVariantMap>

#include <limits>

EditorField::EditorField(const QString& id, const QString& type, const QVariant& value)
{
    m_field.setValue(QStringLiteral("id"), id);
    m_field.setValue(QStringLiteral("type"), type);
    m_field.setValue(QStringLiteral("value"), value);
}

QVariant EditorField::timeoutValue(uint64_t timeoutMs)
{
    if (timeoutMs > uint64_t(std::numeric_limits<int>::max()))
        return -1;
    return QVariant::fromValue<quint64>(timeoutMs);
}

EditorField EditorField::hidden(const QString& id, const QVariant& value)
{
    return EditorField(id, QStringLiteral("hidden"), value);
}

EditorField EditorField::text(const QString& id, const QString& label, const QString& value)
{
    return EditorField(id, QStringLiteral("text"), value).label(label);
}

EditorField EditorField::spinbox(const QString& id, const QString& label, const QVariant& value)
{
    return EditorField(id, QStringLiteral("spinbox"), value).label(label);
}

EditorField EditorField::checkbox(const QString& id, const QString& label, bool value)
{
    return EditorField(id, QStringLiteral("checkbox"), value).label(label);
}

EditorField EditorField::combobox(const QString& id, const QString& label, const QString& value,
                                  const Choices& allowedValues)
{
    EditorField field(id, QStringLiteral("combobox"), value);
    QVariantMap choices;
    for (const auto& [keyword, text] : allowedValues)
        choices.insert(keyword, text);
    field.m_field.setValue(QStringLiteral("allowedValues"), choices);
    return field.label(label);
}

EditorField& EditorField::label(const QString& label)
{
    m_field.setValue(QStringLiteral("label"), label);
    return *this;
}

EditorField& EditorField::required(bool required)
{
    m_field.setValue(QStringLiteral("required"),
                     required ? QStringLiteral("true") : QStringLiteral("false"));
    return *this;
}

EditorField& EditorField::minimum(int minimum)
{
    m_field.setValue(QStringLiteral("min"), minimum);
    return *this;
}

EditorField& EditorField::step(int step)
{
    m_field.setValue(QStringLiteral("step"), step);
    return *this;
}

EditorField& EditorField::suffix(const QString& suffix)
{
    m_field.setValue(QStringLiteral("suffix"), suffix);
    return *this;
}

EditorField& EditorField::specialValue(const QString& text)
{
    m_field.setValue(QStringLiteral("specialValue"), text);
    return *this;
}
