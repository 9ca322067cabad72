// Errors are values: an operation returns its result or a short lower-case message.
#pragma once

#include <string>
#include <utility>
#include <variant>

#include "core/base/panic.h"

namespace velmora {

struct Error {
  std::string message;
};

inline Error error(std::string message) { return Error{std::move(message)}; }

template <class T>
class Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT(google-explicit-constructor)
  Result(Error e) : value_(std::move(e)) {}      // NOLINT(google-explicit-constructor)

  bool ok() const { return value_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & {
    if (!ok()) panic("result holds an error: " + std::get<1>(value_).message);
    return std::get<0>(value_);
  }
  const T& value() const& {
    if (!ok()) panic("result holds an error: " + std::get<1>(value_).message);
    return std::get<0>(value_);
  }
  T&& value() && {
    if (!ok()) panic("result holds an error: " + std::get<1>(value_).message);
    return std::get<0>(std::move(value_));
  }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() { return value(); }
  const T& operator*() const { return value(); }

  const std::string& message() const {
    if (ok()) panic("result holds a value, not an error");
    return std::get<1>(value_).message;
  }

 private:
  std::variant<T, Error> value_;
};

// For operations that have nothing to return but may refuse.
struct Done {};
using Status = Result<Done>;
inline Status done() { return Done{}; }

}  // namespace velmora
