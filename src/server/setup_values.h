#pragma once

#include "base/catalogue.h"
#include "base/server_settings.h"
#include "config/user_list_model.h"

namespace corvane {

// What the setup dialog's "&Save" hands the running server: the options and the port (the
// window placement in `settings` is not taken), the published databases and the users.
struct SetupValues {
  ServerSettings settings;
  PublishedList published;
  const UserListModel& users;
};

}  // namespace corvane
