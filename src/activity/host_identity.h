#pragma once

#include <QString>

namespace corvane {

// How the server names its computer in the "Server Started", "Server Shutdown" and
// "Setup Run" rows.
struct HostIdentity {
  QString host_name;   // upper case
  QString ip_address;  // dotted IPv4
};

// This computer: its host name in upper case and its first IPv4 address that is not a
// loopback address ("127.0.0.1" when it has none).
HostIdentity LocalHostIdentity();

}  // namespace corvane
