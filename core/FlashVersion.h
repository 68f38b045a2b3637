#pragma once

// Dotted version number ("2.1", "5.3.2.0"), compared component by component; missing trailing
// components count as 0. An empty version is invalid and compares as 0.

#include <QString>
#include <QVector>

#include <cstdint>

class FlashVersion
{
public:
    FlashVersion() = default;
    FlashVersion(const QString& text);   // implicit on purpose: versions compare with texts

    // Parses text; false (and an empty version) when a part is not a decimal number from 0 to 65535.
    bool setVersion(const QString& text);
    QString toString() const;
    operator QString() const;
    bool isValid() const;
    const QVector<uint16_t>& components() const;

    // <0, 0, >0 as this version is lower, equal or greater.
    int compare(const FlashVersion& other) const;

    bool operator<(const FlashVersion& other) const;
    bool operator<=(const FlashVersion& other) const;
    bool operator>=(const FlashVersion& other) const;
    bool operator>(const FlashVersion& other) const;
    bool operator==(const FlashVersion& other) const;
    bool operator!=(const FlashVersion& other) const;

    bool operator<(const QString& other) const;
    bool operator<=(const QString& other) const;
    bool operator>=(const QString& other) const;
    bool operator>(const QString& other) const;
    bool operator==(const QString& other) const;
    bool operator!=(const QString& other) const;

private:
    QVector<uint16_t> m_components;
};
