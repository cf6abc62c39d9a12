#pragma once

#include <QByteArray>
#include <QString>

#include "users/private_key.h"
#include "users/user_record.h"

namespace corvane {

// How one user is kept in the store: the value's name is StoreScramble(name), its data
// StoreScramble(password + ":" + private key), texts in Windows-1252.

// Readers take a user's value through a buffer of this many bytes.
inline constexpr int UserValueBufferSize = 255;
// Between password and private key in a record; the key never holds one.
inline constexpr char kRecordSeparator = ':';

// A record's two parts, in Windows-1252 and unscrambled.
struct UserData {
  QByteArray password;
  QByteArray privateKey;
};

QByteArray JoinUserData(const UserData& data);
// Splits at the first separator; both parts are empty when there is none.
UserData SplitUserData(const QByteArray& record);

// The value name and the value data a user is written with.
QByteArray StoredUserName(const QString& name);
QByteArray StoredUserData(const QString& password, const QString& privateKey);

// True when the record can be stored and read back whole: its scrambled name and data
// hold no NUL, and the name and the data each leave room for a NUL in the buffer.
bool RecordFits(const UserRecord& user);

// A stored record as the logon uses it.
struct LogonRecord {
  QString password;  // as stored
  KeyNumber key;     // the private key's number, or why the stored text gave none
  bool operator==(const LogonRecord&) const = default;
};

// Reads an unscrambled record as the logon takes it.
LogonRecord ParseLogonRecord(const QByteArray& record);

}  // namespace corvane
