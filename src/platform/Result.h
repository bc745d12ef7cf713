#pragma once

#include <optional>
#include <utility>
#include <variant>

// The outcome of an operation that can fail: a value, or an error. (C++20 has no std::expected.)
//   Result<QByteArray, CryptoError> r = seal(...);
//   if (!r) log(r.error()); else use(*r);
template <typename T, typename E>
class Result {
public:
    Result(T value) : m_data(std::in_place_index<0>, std::move(value)) {}
    Result(E error) : m_data(std::in_place_index<1>, std::move(error)) {}

    static Result success(T value) { return Result(std::move(value)); }
    static Result failure(E error) { return Result(std::move(error)); }

    bool ok() const { return m_data.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(m_data); }
    const T& value() const& { return std::get<0>(m_data); }
    T&& value() && { return std::get<0>(std::move(m_data)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const E& error() const { return std::get<1>(m_data); }

private:
    std::variant<T, E> m_data;
};

// For operations that give nothing back on success.
template <typename E>
class Status {
public:
    Status() = default;
    Status(E error) : m_error(std::move(error)) {}
    static Status success() { return Status(); }
    bool ok() const { return !m_error.has_value(); }
    explicit operator bool() const { return ok(); }
    const E& error() const { return *m_error; }

private:
    std::optional<E> m_error;
};
