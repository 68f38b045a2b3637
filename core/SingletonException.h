#pragma once

// Thrown by Singleton<T> when its one-object rule is broken; the entry point catches it.

#include <exception>
#include <string>

class SingletonException : public std::exception
{
public:
    explicit SingletonException(std::string message);
    ~SingletonException() override;

    const char* what() const noexcept override;

private:
    std::string m_message;
};
