#pragma once

// The application object's register of listeners, shared by the desktop application
// (FlashManagerApplication) and the command-line one (FlashManagerCoreApplication). The relation is
// two-way: the register knows its listeners and each listener the registers it is in, so that
// destroying either side detaches it from the other. Main thread only; owns nobody.

#include <QList>

class FlashManagerEventListener;

class FlashManagerListenerRegister
{
public:
    // The listener type, reachable as FlashManagerApplication::FlashManagerEventListener.
    using FlashManagerEventListener = ::FlashManagerEventListener;

    FlashManagerListenerRegister() = default;
    // Unregisters every listener, first to last.
    virtual ~FlashManagerListenerRegister();

    FlashManagerListenerRegister(const FlashManagerListenerRegister&) = delete;
    FlashManagerListenerRegister& operator=(const FlashManagerListenerRegister&) = delete;

    // Appends `listener` unless it is registered already.
    void registerEventListener(FlashManagerEventListener* listener);
    // A listener that is not registered changes nothing.
    void unregisterEventListener(FlashManagerEventListener* listener);
    // In order of registration.
    QList<FlashManagerEventListener*> getEventListeners() const { return m_listeners; }

    // The register of the running application object; null when there is none or it has none.
    static FlashManagerListenerRegister* instance();

private:
    QList<FlashManagerEventListener*> m_listeners;
};
