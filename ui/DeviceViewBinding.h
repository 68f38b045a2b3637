#pragma once

// Which of the window's device views a detected device gets, and the binding itself: the view
// that held the device's port, else its OS serial, else its SoC serial, else the first free view.
// The main window calls it from DeviceManager::deviceDetected; GUI thread.

#include "engine/FlashDevice2.h"

#include <QList>

class QPhoneWidget;

class DeviceViewBinding
{
public:
    enum class Outcome { NoView, AlreadyShown, Bound };

    // The index in `views` (in creation order) of the view for `device`; -1 when none is free.
    static int chooseView(const QList<QPhoneWidget*>& views, const FlashDevice2& device);

    // Shows the view that holds `device` already, or binds it to the chosen view with a property
    // reader of its platform. Bound: the caller refreshes its own controls.
    static Outcome bindDevice(const QList<QPhoneWidget*>& views, const DevicePtr& device);

private:
    static void createPropertyReader(FlashDevice2& device);
};
