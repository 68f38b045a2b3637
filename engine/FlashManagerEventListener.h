#pragma once

// A listener of the application object. Nothing is delivered to listeners; the class keeps the
// registers it is in, so that its destruction leaves none of them pointing at it.

#include <set>

class FlashManagerListenerRegister;

class FlashManagerEventListener
{
public:
    FlashManagerEventListener() = default;
    // Unregisters from every register it is in.
    virtual ~FlashManagerEventListener();

    FlashManagerEventListener(const FlashManagerEventListener&) = delete;
    FlashManagerEventListener& operator=(const FlashManagerEventListener&) = delete;

    // Bookkeeping of the registers; FlashManagerListenerRegister calls them.
    void registeredToApplication(FlashManagerListenerRegister* application);
    void unregisteredFromApplication(FlashManagerListenerRegister* application);
    std::set<FlashManagerListenerRegister*> getApplications() const { return m_applications; }

private:
    std::set<FlashManagerListenerRegister*> m_applications;
};
