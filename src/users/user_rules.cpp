#include "users/user_rules.h"

#include "base/windows1252.h"
#include "users/user_record_format.h"

namespace corvane {
namespace {

template <typename Text>
Text TrimBlanksOf(const Text& text) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && text[begin] == ' ') ++begin;
  while (end > begin && text[end - 1] == ' ') --end;
  return text.mid(begin, end - begin);
}

bool HasOneByteForm(const QString& text) { return FromWindows1252(ToWindows1252(text)) == text; }

}  // namespace

QString TrimBlanks(const QString& text) { return TrimBlanksOf(text); }

QByteArray TrimBlanks(const QByteArray& text) { return TrimBlanksOf(text); }

QString UserUpperCase(const QString& text) {
  QString upper = text;
  for (QChar& c : upper) {
    const QChar candidate = c.toUpper();
    if (candidate != c && HasOneByteForm(QString(candidate))) c = candidate;
  }
  return upper;
}

QString EnteredForm(const QString& typed) { return UserUpperCase(TrimBlanks(typed)); }

QByteArray LookupName(const QString& name) { return ToWindows1252(UserUpperCase(name)); }

bool PasswordMatches(const QString& sent, const QString& stored) {
  return EnteredForm(sent) == UserUpperCase(stored);
}

StoreVerdict JudgeStorable(const UserRecord& user) {
  const UserRecord nameOnly{user.name, QString(), user.privateKey};
  if (!HasOneByteForm(user.name) || !RecordFits(nameOnly)) return StoreVerdict::kNameUnstorable;
  if (user.password.contains(QLatin1Char(kRecordSeparator))) {
    return StoreVerdict::kPasswordHasColon;
  }
  if (!HasOneByteForm(user.password) || !RecordFits(user)) {
    return StoreVerdict::kPasswordUnstorable;
  }
  return StoreVerdict::kStorable;
}

}  // namespace corvane
