#include "core/SingletonException.h"

#include <utility>

SingletonException::SingletonException(std::string message)
    : m_message(std::move(message))
{
}

SingletonException::~SingletonException() = default;

const char* SingletonException::what() const noexcept
{
    return m_message.c_str();
}
