#pragma once

// Base of a service class that exists once: constructing a T registers it, destroying it unregisters
// it. Singleton<T> creates nothing; instance() hands out the registered object.
//   class UsbPortMap : public Singleton<UsbPortMap> { ... };
// A second T while one is registered, or instance() before any, throws SingletonException.

#include "core/SingletonException.h"

#include <atomic>
#include <string>
#include <typeinfo>

template <typename T>
class Singleton
{
public:
    static T* instance()
    {
        Singleton* registered = ms_instance.load(std::memory_order_acquire);
        if (registered == nullptr)
            throw SingletonException("Try to access to a not initialized " + std::string(typeid(T).name())
                                     + " singleton");
        return static_cast<T*>(registered);
    }

    // For code that may run before the service exists or after it ended; never throws.
    static bool exists() { return ms_instance.load(std::memory_order_acquire) != nullptr; }

    Singleton(const Singleton&) = delete;
    Singleton& operator=(const Singleton&) = delete;

protected:
    Singleton()
    {
        Singleton* expected = nullptr;
        if (!ms_instance.compare_exchange_strong(expected, this, std::memory_order_acq_rel))
            throw SingletonException("Double instanciation of " + std::string(typeid(T).name())
                                     + " singleton");
    }

    virtual ~Singleton()
    {
        // Only the registered object unregisters; a refused second object leaves it alone.
        Singleton* self = this;
        ms_instance.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
    }

private:
    // Kept as the base pointer: T is not constructed yet when the base registers it.
    static inline std::atomic<Singleton*> ms_instance{nullptr};
};
