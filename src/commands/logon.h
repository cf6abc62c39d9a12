#pragma once

#include <QByteArray>
#include <cstdint>

#include "base/server_settings.h"
#include "commands/command_context.h"
#include "protocol/request.h"
#include "protocol/slot_session.h"

namespace corvane {

// Reads user name, password and the client's address from the context's fields, looks the
// user up, applies the multiple-logon rule and compares the password. Records the address
// at once, the user's private key once the user is found and the user name once the
// multiple-logon rule passes. Throws CommandError when a field is missing or the stored private key
// is not a number.
LogonOutcome CheckLogon(CommandContext& ctx);

// The session key handed out until the key seed is first renewed.
inline constexpr int16_t kStartKeySeed = 157;

// Hands the slot its session key: the key seed when encryption is on (EncryptionEnabled 1;
// any other value leaves it off), 0 otherwise. Returns the key as three digits.
QByteArray IssueSessionKey(SlotSession& session, const ServerSettings& settings, int16_t keySeed);

// "Logon": the logon and its reply (always part of the logon exchange, carrying the outcome)
// and event. A refused logon leaves no user name on the slot.
void RunLogonCommand(CommandContext& ctx);

}  // namespace corvane
