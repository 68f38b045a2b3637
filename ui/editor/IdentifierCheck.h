#pragma once

// The editor's one rule for the identifiers the user gives configurations and parameters.

#include <QString>

namespace IdentifierCheck {

// Why `id` cannot name a new entry ("Missing identifier value", `Identifier "id" already
// exists` when `taken`); empty when it can.
QString refusal(const QString& id, bool taken);

} // namespace IdentifierCheck
