#pragma once

// The ${name} and ${name,option} references that command and configuration texts hold: finding
// them and replacing them. Any thread; nothing here keeps state between calls.

#include <QString>

#include <functional>
#include <optional>

// `option` is null when the reference names none.
using ParameterReferenceVisitor = std::function<void(const QString& name, const QString& option)>;
// The value that replaces a reference; none leaves the reference as written.
using ParameterReferenceResolver =
    std::function<std::optional<QString>(const QString& name, const QString& option)>;

// True when `text` holds a reference.
bool hasParameterReference(const QString& text);

// Calls `visit` for every reference of `text`, in text order.
void forEachParameterReference(const QString& text, const ParameterReferenceVisitor& visit);

// `text` with every reference replaced by what `resolve` gives for it, in text order. A value put
// in is not scanned again, so a value that holds a reference keeps it as written.
QString substituteParameterReferences(const QString& text, const ParameterReferenceResolver& resolve);
