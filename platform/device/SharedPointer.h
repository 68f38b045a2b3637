#pragma once

// Reference-counted handle of the device library: QSharedPointer semantics (strong and weak counts,
// thread-safe counting) plus casts that keep the SharedPointer type. A cast never revives an object
// whose last strong reference is gone: it starts from a strong reference or gives an empty pointer.

#include <QSharedPointer>

template <class T>
class SharedPointer : public QSharedPointer<T>
{
public:
    SharedPointer() = default;
    // Takes ownership of `object` (deleted with the last strong reference).
    explicit SharedPointer(T* object) : QSharedPointer<T>(object) {}
    SharedPointer(const QSharedPointer<T>& other) : QSharedPointer<T>(other) {}
    // Upcast: SharedPointer<FlashDevice2> to SharedPointer<Device>.
    template <class X>
    SharedPointer(const SharedPointer<X>& other) : QSharedPointer<T>(other)
    {
    }

    // Empty when the object is not a U (or the pointer is empty); otherwise shares the counts.
    template <class U>
    SharedPointer<U> dynamicCast() const
    {
        return SharedPointer<U>(QSharedPointer<T>::template dynamicCast<U>());
    }

    template <class U>
    SharedPointer<U> staticCast() const
    {
        return SharedPointer<U>(QSharedPointer<T>::template staticCast<U>());
    }
};
