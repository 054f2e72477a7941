// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <optional>
#include <string>
#include <utility>

namespace tonfield {

// A value, or the operating system's description of why there is none, in
// the usual Unix form ("/home/me/a.mp3: No such file or directory"). Every
// call that can fail in a way the user must hear of returns one.
template <class T = void> class [[nodiscard]] Result {
public:
    Result(T value)
        : value_(std::move(value))
    {
    }
    static Result failed(std::string description)
    {
        Result result;
        result.failure_ = std::move(description);
        return result;
    }

    explicit operator bool() const { return value_.has_value(); }
    T& operator*() { return *value_; }
    const T& operator*() const { return *value_; }
    T* operator->() { return &*value_; }
    // Empty when there is a value.
    const std::string& failure() const { return failure_; }

private:
    Result() = default;

    std::optional<T> value_;
    std::string failure_;
};

// Success, or the description of a failure.
template <> class [[nodiscard]] Result<void> {
public:
    static Result done() { return Result(); }
    static Result failed(std::string description)
    {
        Result result;
        result.failure_ = std::move(description);
        result.failed_ = true;
        return result;
    }

    explicit operator bool() const { return !failed_; }
    const std::string& failure() const { return failure_; }

private:
    Result() = default;

    std::string failure_;
    bool failed_ = false;
};

} // namespace tonfield
