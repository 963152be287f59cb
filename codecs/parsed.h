#pragma once
// The result of a parsing step that can fail for a named reason: the value, or the reason there
// is none. Reads like std::optional (test, *, ->) and adds error().
#include <optional>
#include <utility>

namespace corvale {

template <class T, class Error> class Parsed {
  public:
    Parsed(T value) : value_(std::move(value)) {}
    Parsed(Error error) : error_(error) {}

    explicit operator bool() const { return value_.has_value(); }
    T& operator*() { return *value_; }
    const T& operator*() const { return *value_; }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    // Why there is no value; Error{} (the enumeration's None) when there is one.
    Error error() const { return error_; }

  private:
    std::optional<T> value_;
    Error error_{};
};

// Records in `slot` why a decoder fails and gives `result`, what its entry point returns then
// (false: the data are not taken; true: they are, but make no picture).
template <class Error> bool Failed(Error& slot, Error why, bool result = false) {
    slot = why;
    return result;
}

} // namespace corvale
