#include "support/program_folder.h"

#include "config/user_list_model.h"
#include "support/file_bytes.h"

namespace corvane::test {

void ProgramFolder::Write(const std::vector<std::pair<QString, QString>>& published, quint16 port) {
  QByteArray list;
  for (const auto& [name, location] : published) {
    list += "\"" + name.toUtf8() + "\",\"" + location.toUtf8() + "\"\r\n";
  }
  WriteFileBytes(Path("database.dat"), list);
  WriteFileBytes(Path("network.dat"), QByteArray::number(port) + "\r\n");
}

std::unique_ptr<ServerInstance> ProgramFolder::NewServer() {
  auto server =
      std::make_unique<ServerInstance>(dir_.path(), prompts, HostIdentity{"HOST", "127.0.0.1"});
  UserListModel users;
  users.Append({"ANN", "PW1", "12345678"});
  server->Users().SaveUsers(users);
  return server;
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
