#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

#include "activity/activity_entry.h"
#include "base/catalogue.h"
#include "base/server_settings.h"
#include "commands/replies.h"
#include "commands/slot_state.h"
#include "commands/value_text.h"
#include "engine/database.h"
#include "engine/work_limits.h"
#include "protocol/field_reader.h"
#include "protocol/request.h"
#include "users/user_directory.h"

namespace corvane {

// What a command may know of the other slots.
class SlotDirectory {
 public:
  virtual ~SlotDirectory() = default;
  // True when a slot other than `slot` holds this user name.
  virtual bool UserNameInUse(const QString& userName, int slot) const = 0;
};

// The server's objects that the commands work with; all owned elsewhere.
struct CommandServices {
  const ServerSettings& settings;
  UserDirectory& users;
  const SlotDirectory& slots;
  // The session key the next accepted logon gets.
  const int16_t& keySeed;
  // The regional formats of value texts.
  const RegionalFormats& formats;
  // Opens the published databases, whichever engine serves them.
  DatabaseOpener& databases;
  // How long the database work of one request may run (kClientWorkLimitMs; tests shorten
  // it).
  int clientWorkLimitMs = kClientWorkLimitMs;
};

// Number and description of an error being handled.
struct CaughtError {
  int32_t number = 0;
  QString description;
};
// The error being handled; call only inside a catch block.
CaughtError CurrentError();

// One request being carried out for one slot: the slot's state, the request's fields after
// the command word, the server's objects, the published databases and their lists as the
// request sees them, and what the request produced so far.
class CommandContext {
 public:
  CommandContext(SlotState slot, const Request& request, CommandServices& services,
                 const Catalogue& catalogue, Replies& out)
      : slot_(slot),
        fields_(request.fields),
        services_(services),
        catalogue_(catalogue),
        out_(out) {}

  int number() const { return slot_.number; }
  SlotSession& session() { return slot_.session; }
  SlotDatabase& database() { return slot_.database; }
  FieldReader& fields() { return fields_; }
  CommandServices& services() { return services_; }
  const Catalogue& catalogue() const { return catalogue_; }
  const RegionalFormats& formats() const { return services_.formats; }
  const QLocale& locale() const { return services_.formats.locale; }
  // The slot's open set; error 91 when there is none.
  Recordset& Set() { return slot_.database.Set(); }
  Replies& out() { return out_; }

  void Send(Reply reply) { out_.replies.push_back(std::move(reply)); }
  // The reply word alone.
  void SendWord(const QByteArray& word) { out_.replies.push_back(Reply{word, {}, false}); }
  // The event with the slot's facts as they are now.
  void Log(const QByteArray& code) { out_.events.push_back(SlotActivity(slot_, code)); }
  void LogError(const QByteArray& code, const CaughtError& error);
  // A note row for the operator, naming the slot's user.
  void Note(const QString& text) { out_.notes.push_back({text, slot_.session.SlotUserName}); }

  // The common error path of the database routines: the reply word with the description,
  // then the error event.
  void ErrorReply(const QByteArray& replyWord, const QByteArray& eventWord,
                  const CaughtError& error);

  // The request ends at once, without the slot counting as active (the query clean-up).
  void LeaveAtOnce() { leftAtOnce_ = true; }
  bool LeftAtOnce() const { return leftAtOnce_; }

 private:
  SlotState slot_;
  FieldReader fields_;
  CommandServices& services_;
  const Catalogue& catalogue_;
  Replies& out_;
  bool leftAtOnce_ = false;
};

}  // namespace corvane
