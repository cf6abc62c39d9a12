#include "support/program_folder.h"

#include <gtest/gtest.h>

#include "client/event_wait.h"
#include "config/registry_store.h"
#include "config/user_list_model.h"
#include "config/user_store.h"
#include "support/file_bytes.h"

namespace corvane::test {
namespace {

// A check over server databases that do not answer waits out their connect timeouts.
constexpr int kCheckWaitMs = 60000;

}  // namespace

void ProgramFolder::Write(const std::vector<std::pair<QString, QString>>& published, quint16 port) {
  QByteArray list;
  for (const auto& [name, location] : published) {
    list += "\"" + name.toUtf8() + "\",\"" + location.toUtf8() + "\"\r\n";
  }
  WriteFileBytes(Path("database.dat"), list);
  WriteFileBytes(Path("network.dat"), QByteArray::number(port) + "\r\n");
}

std::unique_ptr<ServerInstance> ProgramFolder::NewServer() {
  StoreUser();
  return std::make_unique<ServerInstance>(dir_.path(), prompts, HostIdentity{"HOST", "127.0.0.1"});
}

void ProgramFolder::StoreUser() {
  RegistryStore registry(dir_.path());
  UserStore store(registry, dir_.path());
  UserListModel users;
  users.Append({"ANN", "PW1", "12345678"});
  store.SaveUsers(users);
}

StartupBranch ProgramFolder::Start(ServerInstance& server) {
  const StartupBranch branch = server.RunStartup();
  EXPECT_TRUE(WaitUntil([&server] { return !server.CheckRunning(); }, kCheckWaitMs));
  return branch;
}

void ProgramFolder::Check(ServerInstance& server) {
  server.RunDatabaseCheck();
  EXPECT_TRUE(WaitUntil([&server] { return !server.CheckRunning(); }, kCheckWaitMs));
}

QStringList ProgramFolder::Events(ServerInstance& server) {
  QStringList events;
  const ActivityRowsModel& rows = server.ActivityRows();
  for (int i = 0; i < rows.rowCount(); ++i) events << rows.Row(i).event;
  return events;
}

int ProgramFolder::Count(const QStringList& events, const QString& part) {
  int count = 0;
  for (const QString& event : events) count += event.contains(part) ? 1 : 0;
  return count;
}

QStringList ProgramFolder::SavedNames() const {
  QStringList names;
  const QByteArray saved = ReadFileBytes(Path("database.dat"));
  for (const QByteArray& line : saved.split('\n')) {
    const QList<QByteArray> parts = line.split('"');
    if (parts.size() > 1) names << QString::fromUtf8(parts[1]);
  }
  return names;
}

}  // namespace corvane::test
