#pragma once

namespace corvane {

// Which way the start-up went, from the settings files and the user store.
enum class StartupBranch {
  kNetworkMissing,    // no network.dat, or a port of 0: setup opens on "Network"
  kUsersMissing,      // no user stored: setup opens on "Users", nothing listens
  kDatabasesMissing,  // no database.dat: setup opens on "Database"
  kReady,             // everything present; the database check has run
};

}  // namespace corvane
