#pragma once

#include <QString>

#include <optional>
#include <utility>
#include <variant>

namespace vqs {

// An error of reading, writing or talking to the broker, as the user is told of it: its code
// and its German text, made once where the error happened (so that no caller composes it).
struct Error {
    int code = 0;  // an errno value, or a negative kind named by the unit that made it
    QString text;
};

// What an operation that can fail gives back: its value, or the error.
template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }
    // The value; only when ok().
    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    // The error; only when not ok().
    const Error& error() const { return std::get<1>(state_); }
    // 0 when it worked.
    int code() const { return ok() ? 0 : error().code; }

private:
    std::variant<T, Error> state_;
};

// An operation that gives nothing back but may fail.
template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error error) : error_(std::move(error)) {}

    bool ok() const { return !error_; }
    explicit operator bool() const { return ok(); }
    const Error& error() const { return *error_; }
    int code() const { return error_ ? error_->code : 0; }

private:
    std::optional<Error> error_;
};

}  // namespace vqs
