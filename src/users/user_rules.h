#pragma once

#include <QByteArray>
#include <QString>

#include "users/user_record.h"

namespace corvane {

// How names and passwords are entered, looked up, compared and judged storable. The user
// editor, the command line, the store and the logon all go by these, so that a user one of
// them accepts is one the others can find.

// Removes leading and trailing blanks only: tabs and other white space belong to the text.
QString TrimBlanks(const QString& text);
QByteArray TrimBlanks(const QByteArray& text);

// Upper case letter by letter, a letter kept as it is when its upper case has no
// Windows-1252 form: the text keeps its length and never gains a '?' on its way to bytes.
QString UserUpperCase(const QString& text);

// What a typed name or password is kept as: blanks trimmed, then upper case.
QString EnteredForm(const QString& typed);

// The Windows-1252 name a user is stored under and looked up by, for a name in any case.
QByteArray LookupName(const QString& name);

// Whether a password as a client sent it opens a stored one: the sent one trimmed, both
// without regard to case. Blanks around the stored password are kept, so they never match.
bool PasswordMatches(const QString& sent, const QString& stored);

// The first reason a finished record could not be stored and read back as it is listed;
// the name is judged before the password.
enum class StoreVerdict {
  kStorable,
  kNameUnstorable,      // no one-byte form, or too long for the store once scrambled
  kPasswordHasColon,    // ':' separates the password from the key in the stored record
  kPasswordUnstorable,  // no one-byte form, or the record is too long once scrambled
};
StoreVerdict JudgeStorable(const UserRecord& user);

}  // namespace corvane
