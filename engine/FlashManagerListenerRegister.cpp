#include "engine/FlashManagerListenerRegister.h"

#include "engine/FlashManagerEventListener.h"

#include <QCoreApplication>

FlashManagerListenerRegister::~FlashManagerListenerRegister()
{
    while (!m_listeners.isEmpty())
        unregisterEventListener(m_listeners.first());
}

void FlashManagerListenerRegister::registerEventListener(FlashManagerEventListener* listener)
{
    if (!listener || m_listeners.contains(listener))
        return;
    m_listeners.append(listener);
    listener->registeredToApplication(this);
}

void FlashManagerListenerRegister::unregisterEventListener(FlashManagerEventListener* listener)
{
    if (!m_listeners.removeOne(listener))
        return;
    listener->unregisteredFromApplication(this);
}

FlashManagerListenerRegister* FlashManagerListenerRegister::instance()
{
    return dynamic_cast<FlashManagerListenerRegister*>(QCoreApplication::instance());
}
