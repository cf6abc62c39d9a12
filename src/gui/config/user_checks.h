#pragma once

#include <QString>
#include <functional>
#include <optional>

namespace corvane {

struct UserRecord;

// What the user editor's password boxes hold until the operator types a password.
inline constexpr char kPasswordMask[] = "**********";

// The box a failed check puts the focus on.
enum class UserField { kName, kPassword };

// A failed check: the message box to show and where the focus goes afterwards.
struct UserCheckFailure {
  QString text;
  QString title;
  UserField focus;
};

// The three boxes of the user editor as typed.
struct UserEntry {
  QString name;
  QString password;
  QString confirm;
};

// The editor's four tests in their order, stopping at the first failure: name given,
// password given (for a new user the mask is no password), both password boxes equal,
// name not already stored. A new user is always tested for a clash; an edited one only
// when its name was typed in. `userExists` asks the store with the trimmed name.
std::optional<UserCheckFailure> CheckUserEntry(
    const UserEntry& entry, bool adding, bool nameChanged,
    const std::function<bool(const QString&)>& userExists);

// The private key the next user added gets: renewed while the setup dialog is active, and
// once a user has taken it. It belongs to the setup dialog; the store learns of it when the
// setup is saved.
class PrivateKeyCandidate {
 public:
  // A user added before any renewal still gets a key of its own, never an empty one.
  const QString& Current();
  void Renew();

 private:
  QString key_;
};

// Whether the finished record would read back from the store exactly as it is listed
// (see JudgeStorable): a failure names the name box or the password box.
std::optional<UserCheckFailure> CheckStorable(const UserRecord& user);

}  // namespace corvane
