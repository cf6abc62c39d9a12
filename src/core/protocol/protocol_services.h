#pragma once

#include "core/activity/activity_reporter.h"
#include "core/config/catalogue.h"
#include "core/config/server_settings.h"
#include "core/protocol/pseudo_random.h"
#include "core/protocol/session_table.h"
#include "core/protocol/slot_host.h"
#include "core/protocol/user_directory.h"

namespace corvane {

// The objects of one server that command handlers work with; all owned elsewhere.
struct ProtocolServices {
  const ServerSettings& settings;
  const Catalogue& catalogue;
  UserDirectory& users;
  ActivityReporter& activity;
  PseudoRandom& random;
  SessionTable& sessions;
  SlotHost& host;
};

}  // namespace corvane
