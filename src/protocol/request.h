#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

#include "protocol/command_descriptor.h"

namespace corvane {

// One request of a client as its transport read it: the command its word names and the
// fields after the word, as texts. How they travelled (framed and enciphered bytes, JSON) is
// the transport's business.
struct Request {
  // Looked up once, as the request was read; nullptr for a word no command has.
  const CommandDescriptor* command = nullptr;
  QStringList fields;
  // The transport could not read a command word at all (a frame shorter than its
  // trailer, an empty enciphered payload, no field end).
  bool malformed = false;
};

// How a logon ended. What the server and the transports do after a logon goes by this;
// the reply's word is only what the wire shows for it.
enum class LogonOutcome { kAccepted, kUserDenied, kPassDenied, kMultipleUsers };

// One reply to a client: its word and fields.
struct Reply {
  QByteArray word;
  QStringList fields;
  // Belongs to the logon exchange (the logon's answer, a refusal): enciphered with the
  // protocol's fixed reply key whatever the encryption setting.
  bool logonExchange = false;
  // Set on the answer to a logon.
  std::optional<LogonOutcome> logon{};
};

}  // namespace corvane
