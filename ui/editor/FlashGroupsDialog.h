#pragma once

// The command-groups dialog of one configuration, shared by the flash tab and the editor: the
// configuration's group form, a restore-defaults button that refills it with the defaults, and
// the accepted answers given to the configuration. Modal, GUI thread only.

class FlashConfiguration;

namespace FlashGroupsDialog {

enum class Outcome { Applied, Cancelled, InvalidForm };

// Runs the dialog until it is accepted or cancelled; only Applied changes the configuration.
Outcome run(FlashConfiguration& configuration);

} // namespace FlashGroupsDialog
