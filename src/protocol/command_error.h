#pragma once

#include <QString>
#include <cstdint>
#include <exception>

namespace corvane {

// An error raised while a command runs. The dispatcher answers it with "ErrorDB" and its
// description and records number and description as the last error handled. The numbers
// and descriptions are the ones the handheld clients have always been shown.
class CommandError : public std::exception {
 public:
  CommandError(int32_t number, QString description)
      : number_(number), description_(std::move(description)) {}
  int32_t number() const { return number_; }
  const QString& description() const { return description_; }
  const char* what() const noexcept override { return "command error"; }

  static CommandError InvalidArgument() {
    return CommandError(5, QStringLiteral("Invalid procedure call or argument"));
  }
  static CommandError Overflow() { return CommandError(6, QStringLiteral("Overflow")); }
  static CommandError SubscriptOutOfRange() {
    return CommandError(9, QStringLiteral("Subscript out of range"));
  }
  static CommandError TypeMismatch() { return CommandError(13, QStringLiteral("Type mismatch")); }
  // A command needs the slot's database or set and the slot has none open.
  static CommandError ObjectNotSet() {
    return CommandError(91, QStringLiteral("Object variable or With block variable not set"));
  }
  // The number any other failure is reported with: the runtime's internal error.
  static constexpr int32_t kInternalError = 51;

 private:
  int32_t number_;
  QString description_;
};

}  // namespace corvane
