#include "core/FlashVersion.h"

#include <QStringList>

#include <limits>

FlashVersion::FlashVersion(const QString& text)
{
    setVersion(text);
}

bool FlashVersion::setVersion(const QString& text)
{
    m_components.clear();
    QVector<uint16_t> components;
    for (const QString& part : text.split(QLatin1Char('.'))) {
        // Digits only: no sign, no blanks. A component that does not fit 16 bits makes the whole
        // version invalid rather than wrapping to a smaller number.
        if (part.isEmpty())
            return false;
        for (const QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
        }
        bool ok = false;
        const uint value = part.toUInt(&ok, 10);
        if (!ok || value > std::numeric_limits<uint16_t>::max())
            return false;
        components.append(static_cast<uint16_t>(value));
    }
    m_components = components;
    return true;
}

QString FlashVersion::toString() const
{
    QStringList parts;
    for (const uint16_t component : m_components)
        parts.append(QString::number(component));
    return parts.join(QLatin1Char('.'));
}

FlashVersion::operator QString() const
{
    return toString();
}

bool FlashVersion::isValid() const
{
    return !m_components.isEmpty();
}

const QVector<uint16_t>& FlashVersion::components() const
{
    return m_components;
}

int FlashVersion::compare(const FlashVersion& other) const
{
    const int count = qMax(m_components.size(), other.m_components.size());
    for (int i = 0; i < count; ++i) {
        const uint16_t mine = m_components.value(i, 0);
        const uint16_t theirs = other.m_components.value(i, 0);
        if (mine != theirs)
            return mine < theirs ? -1 : 1;
    }
    return 0;
}

bool FlashVersion::operator<(const FlashVersion& other) const
{
    return compare(other) < 0;
}

bool FlashVersion::operator<=(const FlashVersion& other) const
{
    return compare(other) <= 0;
}

bool FlashVersion::operator>=(const FlashVersion& other) const
{
    return compare(other) >= 0;
}

bool FlashVersion::operator>(const FlashVersion& other) const
{
    return compare(other) > 0;
}

bool FlashVersion::operator==(const FlashVersion& other) const
{
    return compare(other) == 0;
}

bool FlashVersion::operator!=(const FlashVersion& other) const
{
    return compare(other) != 0;
}

bool FlashVersion::operator<(const QString& other) const
{
    return compare(FlashVersion(other)) < 0;
}

bool FlashVersion::operator<=(const QString& other) const
{
    return compare(FlashVersion(other)) <= 0;
}

bool FlashVersion::operator>=(const QString& other) const
{
    return compare(FlashVersion(other)) >= 0;
}

bool FlashVersion::operator>(const QString& other) const
{
    return compare(FlashVersion(other)) > 0;
}

bool FlashVersion::operator==(const QString& other) const
{
    return compare(FlashVersion(other)) == 0;
}

bool FlashVersion::operator!=(const QString& other) const
{
    return compare(FlashVersion(other)) != 0;
}
