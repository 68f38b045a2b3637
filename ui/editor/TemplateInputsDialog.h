#pragma once

// Asks for a command template's inputs in a form dialog that stays open until its answers pass
// the form's checks (required fields set, files present) or the user cancels. The dialog lives
// only during the call. GUI thread.

#include "platform/json/JsonObjectList.h"

#include <QString>

class TemplateInputsDialog
{
public:
    enum class Outcome { Accepted, Cancelled, InvalidForm };

    // `inputs` is the form description; the file fields share `defaultFolder` (may be null).
    // Accepted: `answers` holds one entry per field.
    static Outcome ask(const JsonObjectList& inputs, QString* defaultFolder, JsonObject& answers);
};
