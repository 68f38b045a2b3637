#include "engine/FlashManagerEventListener.h"

#include "engine/FlashManagerListenerRegister.h"

FlashManagerEventListener::~FlashManagerEventListener()
{
    while (!m_applications.empty())
        (*m_applications.begin())->unregisterEventListener(this);
}

void FlashManagerEventListener::registeredToApplication(FlashManagerListenerRegister* application)
{
    if (application)
        m_applications.insert(application);
}

void FlashManagerEventListener::unregisteredFromApplication(FlashManagerListenerRegister* application)
{
    m_applications.erase(application);
}
