#pragma once

#include <vector>

#include "activity/activity_entry.h"
#include "protocol/request.h"

namespace corvane {

// What one request produced: the replies in the order they go out, and the activity
// events in the order they were reported.
struct Replies {
  std::vector<Reply> replies;
  std::vector<ActivityEntry> events;
  // The refusal of a first message drops whatever else the client sent with it.
  bool discardPendingInput = false;
};

}  // namespace corvane
