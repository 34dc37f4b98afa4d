// SourceResult: what the banner sources answer, a value or the message of their failure.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace tav::banners {

// A failure of a source; the message is what the routes hand on to their callers.
struct SourceError {
  std::string message;
};

// The value of a successful source operation, or its error. value() only when ok().
template <typename T> class SourceResult {
public:
  SourceResult(T value) : outcome_(std::in_place_index<0>, std::move(value)) {}
  SourceResult(SourceError error) : outcome_(std::in_place_index<1>, std::move(error)) {}

  bool ok() const { return outcome_.index() == 0; }
  T& value() { return std::get<0>(outcome_); }
  const T& value() const { return std::get<0>(outcome_); }
  const std::string& error() const { return std::get<1>(outcome_).message; }

private:
  std::variant<T, SourceError> outcome_;
};

// The outcome of a source operation that answers nothing but success.
template <> class SourceResult<void> {
public:
  SourceResult() = default;
  SourceResult(SourceError error) : error_(std::move(error)) {}

  bool ok() const { return !error_.has_value(); }
  const std::string& error() const { return error_->message; }

private:
  std::optional<SourceError> error_;
};

} // namespace tav::banners
