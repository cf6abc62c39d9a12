#pragma once

#include <QList>

#include "base/catalogue.h"
#include "base/server_settings.h"
#include "users/user_record.h"

namespace corvane {

// The setup dialog's copies: what it is filled from when it opens (the settings, the
// published list and the users as stored), and what its "&Save" hands the running server
// (the options and the port, but not the window placement in `settings`).
struct SetupValues {
  ServerSettings settings;
  PublishedList published;
  QList<UserRecord> users;
};

}  // namespace corvane
