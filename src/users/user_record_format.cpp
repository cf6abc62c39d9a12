#include "users/user_record_format.h"

#include "base/windows1252.h"
#include "users/store_scramble.h"

namespace corvane {

QByteArray JoinUserData(const UserData& data) {
  return data.password + kRecordSeparator + data.privateKey;
}

UserData SplitUserData(const QByteArray& record) {
  return {BeforeColon(record), AfterColon(record)};
}

QByteArray StoredUserName(const QString& name) { return StoreScramble(ToWindows1252(name)); }

QByteArray StoredUserData(const QString& password, const QString& privateKey) {
  return StoreScramble(JoinUserData({ToWindows1252(password), ToWindows1252(privateKey)}));
}

bool RecordFits(const UserRecord& user) {
  const QByteArray name = StoredUserName(user.name);
  const QByteArray data = StoredUserData(user.password, user.privateKey);
  return !name.contains('\0') && !data.contains('\0') && name.size() < UserValueBufferSize &&
         data.size() < UserValueBufferSize;
}

LogonRecord ParseLogonRecord(const QByteArray& record) {
  const UserData data = SplitUserData(record);
  return {FromWindows1252(data.password), PrivateKeyToNumber(data.privateKey)};
}

}  // namespace corvane
