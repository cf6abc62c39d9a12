#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "activity/activity_entry.h"
#include "protocol/request.h"

namespace corvane {

// A query a client saved: it joins the query list of published database `database`.
struct SavedQuery {
  int16_t database = 0;
  QString name;
};

// A free-text row of the activity list, and the user it concerns.
struct ActivityNote {
  QString text;
  QString user;
};

// What one request produced: the replies in the order they go out, the activity events in
// the order they were reported, and what changes beyond the slot's own state. Whoever owns
// the server's shared state applies those on the event-loop thread.
struct Replies {
  std::vector<Reply> replies;
  std::vector<ActivityEntry> events;
  // Notes for the operator, shown after the events.
  std::vector<ActivityNote> notes;
  // The request ended normally: the slot counts as active.
  bool active = false;
  // The refusal of a first message drops whatever else the client sent with it.
  bool discardPendingInput = false;
  std::optional<SavedQuery> savedQuery;

  // How the logon the request carried out ended; nothing for any other request.
  std::optional<LogonOutcome> LogonResult() const {
    for (const Reply& reply : replies) {
      if (reply.logon) return reply.logon;
    }
    return std::nullopt;
  }
};

}  // namespace corvane
