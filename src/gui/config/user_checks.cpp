#include "gui/config/user_checks.h"

#include "users/private_key.h"
#include "users/user_rules.h"

namespace corvane {
namespace {

QString CorvaneTitle() { return QStringLiteral("Corvane Database"); }

QString Spaces(int count) { return QString(count, QLatin1Char(' ')); }

}  // namespace

std::optional<UserCheckFailure> CheckUserEntry(
    const UserEntry& entry, bool adding, bool nameChanged,
    const std::function<bool(const QString&)>& userExists) {
  const QString name = TrimBlanks(entry.name);
  const QString password = TrimBlanks(entry.password);
  if (name.isEmpty()) {
    return UserCheckFailure{QStringLiteral("RemoteHost name is required.") + Spaces(10),
                            QStringLiteral("Enter Remote Host"), UserField::kName};
  }
  if (password.isEmpty() || (adding && password == QLatin1String(kPasswordMask))) {
    return UserCheckFailure{QStringLiteral("Password is required.") + Spaces(15),
                            QStringLiteral("Enter Password"), UserField::kPassword};
  }
  if (entry.password != entry.confirm) {
    return UserCheckFailure{QStringLiteral("Passwords do not match.") + Spaces(5) +
                                QStringLiteral("\r\rReenter password and press 'Save'"),
                            QStringLiteral("Passwords Do Not Match"), UserField::kPassword};
  }
  if ((adding || nameChanged) && userExists(name)) {
    return UserCheckFailure{QStringLiteral("User already exists.") + Spaces(10) +
                                QStringLiteral("\r\rYou will need to use another User Name."),
                            CorvaneTitle(), UserField::kName};
  }
  return std::nullopt;
}

std::optional<UserCheckFailure> CheckStorable(const UserRecord& user) {
  switch (JudgeStorable(user)) {
    case StoreVerdict::kStorable:
      return std::nullopt;
    case StoreVerdict::kNameUnstorable:
      return UserCheckFailure{
          QStringLiteral("This Remote Host name cannot be stored: it is too long or holds a "
                         "character the user store cannot keep.\r\rEnter a shorter name."),
          CorvaneTitle(), UserField::kName};
    case StoreVerdict::kPasswordHasColon:
    case StoreVerdict::kPasswordUnstorable:
      break;
  }
  return UserCheckFailure{
      QStringLiteral("This password cannot be stored: it is too long or holds a character "
                     "the user store cannot keep, such as \":\".\r\rEnter another password."),
      CorvaneTitle(), UserField::kPassword};
}

const QString& PrivateKeyCandidate::Current() {
  if (key_.isEmpty()) Renew();
  return key_;
}

void PrivateKeyCandidate::Renew() { key_ = MakePrivateKey(); }

}  // namespace corvane
