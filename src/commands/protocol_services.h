#pragma once

#include "activity/activity_reporter.h"
#include "base/catalogue.h"
#include "base/server_settings.h"
#include "base/pseudo_random.h"
#include "commands/session_table.h"
#include "commands/slot_host.h"
#include "config/user_directory.h"

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
