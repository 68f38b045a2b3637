#pragma once

// Edits one command through its kind's own form (FlashCommand::getJsonEditorInterface): the
// accepted answers build a new command of that kind. Modal, GUI thread only.

#include <QSharedPointer>
#include <QString>

class FlashCommand;

namespace CommandFormDialog {

// The command built from the accepted form; null when the user cancels, when the kind's form is
// refused, or when the kind refuses the answers (said in a critical box, the reason in the log).
QSharedPointer<FlashCommand> edit(const FlashCommand& command, QString* defaultFolder);

} // namespace CommandFormDialog
