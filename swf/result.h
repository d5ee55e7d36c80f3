#pragma once

#include <string>
#include <utility>
#include <variant>

namespace swf {

// A failure with one line of text for the user ("Invalid movie: …").
struct Error {
    std::string message;
};

// A value or the reason there is none. Parsing returns these instead of throwing.
template <typename T> class Result {
public:
    Result(T value) : m_v(std::move(value)) {}
    Result(Error error) : m_v(std::move(error)) {}

    bool ok() const { return std::holds_alternative<T>(m_v); }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<T>(m_v); }
    const T& value() const& { return std::get<T>(m_v); }
    T&& value() && { return std::get<T>(std::move(m_v)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    const Error& error() const { return std::get<Error>(m_v); }

private:
    std::variant<T, Error> m_v;
};

} // namespace swf
