#pragma once

// One field of a command kind's editor form: the JSON object that the flash editor's form widget
// reads by key ("id", "label", "type", "value", "required", and by type "min", "step", "suffix",
// "specialValue", "allowedValues"). Kinds build their form templates from these:
//
//     return JsonObjectList{
//         EditorField::hidden(QStringLiteral("tool"), toolId()),
//         EditorField::spinbox(QStringLiteral("timeout"), QStringLiteral("Timeout"), 60000)
//             .minimum(-1).step(1000).suffix(QStringLiteral(" ms")),
//     };
//
// A value type; any thread.

#include "platform/json/JsonObject.h"

#include <QString>
#include <QVariant>

#include <cstdint>

#include <utility>
#include <vector>

class EditorField
{
public:
    // Keyword stored in the command's JSON -> text shown for it.
    using Choices = std::vector<std::pair<QString, QString>>;

    static EditorField hidden(const QString& id, const QVariant& value);
    static EditorField text(const QString& id, const QString& label, const QString& value);
    static EditorField spinbox(const QString& id, const QString& label, const QVariant& value);
    static EditorField checkbox(const QString& id, const QString& label, bool value);
    static EditorField combobox(const QString& id, const QString& label, const QString& value,
                                const Choices& allowedValues);

    // A stored time-out as a "timeout" spin box shows it: the box holds 32 bits, so one beyond
    // its range (no limit in practice) is -1, its "No timeout".
    static QVariant timeoutValue(uint64_t timeoutMs);

    EditorField& label(const QString& label);
    // Written as the text "true" or "false", as the form widget expects.
    EditorField& required(bool required);
    EditorField& minimum(int minimum);
    EditorField& step(int step);
    EditorField& suffix(const QString& suffix);
    // Shown instead of the number when the spin box is at its minimum.
    EditorField& specialValue(const QString& text);

    operator JsonObject() const { return m_field; }

private:
    EditorField(const QString& id, const QString& type, const QVariant& value);

    JsonObject m_field;
};
