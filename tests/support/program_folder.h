#pragma once

// A server instance in a temporary program folder, started from its own database.dat and
// network.dat, with the user ANN (password PW1, key 12345678).

#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <utility>
#include <vector>

#include "server/server_instance.h"
#include "support/recording_prompts.h"

namespace corvane::test {

class ProgramFolder {
 public:
  // database.dat with the (name, location) pairs in order, and network.dat with `port`.
  void Write(const std::vector<std::pair<QString, QString>>& published, quint16 port = 5000);
  // A server over the folder with the user ANN; its start-up is the caller's.
  std::unique_ptr<ServerInstance> NewServer();
  // Stores the user ANN in the folder's user store.
  void StoreUser();
  QString Path(const QString& name) const { return dir_.filePath(name); }
  // The start-up, its database check waited for; the branch it took.
  static StartupBranch Start(ServerInstance& server);
  // A database check, waited for.
  static void Check(ServerInstance& server);
  // The Event column of every activity row.
  static QStringList Events(ServerInstance& server);
  static int Count(const QStringList& events, const QString& part);
  // The names database.dat holds, in order.
  QStringList SavedNames() const;

  RecordingPrompts prompts;

 private:
  QTemporaryDir dir_;
};

}  // namespace corvane::test
