#include "protocol/socket_state.h"

#include <array>

namespace corvane {

QString SocketStateText(int state) {
  static constexpr std::array<const char*, 10> kTexts = {"Closed",
                                                         "Open",
                                                         "Listening",
                                                         "Connection Pending",
                                                         "Resolving Host",
                                                         "Host resolved",
                                                         "Connecting",
                                                         "Connected",
                                                         "Peer is closing the connection",
                                                         "Error"};
  if (state < 0 || state >= static_cast<int>(kTexts.size())) return {};
  return QString::fromLatin1(kTexts[state]);
}

}  // namespace corvane
