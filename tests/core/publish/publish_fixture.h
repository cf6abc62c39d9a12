#pragma once

// A server in a temporary program directory whose database.dat names Access files
// copied from the third-party fixtures, with the operator's message boxes recorded.

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <memory>

#include "config/user_list_model.h"
#include "server/server_instance.h"
#include "support/access_fixtures.h"
#include "support/file_bytes.h"
#include "support/recording_prompts.h"

namespace corvane::test {

class PublishTest : public ::testing::Test {
 protected:
  void SetUp() override { SKIP_WITHOUT_FIXTURES(); }

  QString ProgramPath(const QString& name) const { return program_.filePath(name); }

  // A writable copy of a fixture among the operator's files.
  QString CopyFixture(const QString& fixture, const QString& name) {
    const QString path = sources_.filePath(name);
    EXPECT_TRUE(QFile::copy(Fixture(fixture), path)) << fixture.toStdString();
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return path;
  }

  // database.dat with one entry per file, and network.dat.
  void WriteSetup(const QStringList& published, quint16 port = 5000) {
    QByteArray list;
    for (const QString& path : published)
      list += "\"" + QFileInfo(path).fileName().toUtf8() + "\",\"" + path.toUtf8() + "\"\r\n";
    ASSERT_TRUE(WriteFileBytes(ProgramPath("database.dat"), list));
    ASSERT_TRUE(WriteFileBytes(ProgramPath("network.dat"), QByteArray::number(port) + "\r\n"));
  }

  // A server that ran its start-up over the program directory, with the user ANN.
  std::unique_ptr<ServerInstance> StartedServer() {
    auto server = std::make_unique<ServerInstance>(program_.path(), prompts_,
                                                   HostIdentity{"HOST", "127.0.0.1"});
    server->SetConversionChild(ServerConversion());
    UserListModel users;
    users.Append({"ANN", "PW1", "12345678"});
    server->Users().SaveUsers(users);
    EXPECT_EQ(server->RunStartup(), StartupBranch::kReady);
    return server;
  }

  // The free-text rows of the activity list.
  static QStringList Notes(ServerInstance& server) {
    QStringList notes;
    const ActivityRowsModel& rows = server.ActivityRows();
    for (int i = 0; i < rows.rowCount(); ++i) notes << rows.Row(i).event;
    return notes;
  }

  QTemporaryDir program_;
  QTemporaryDir sources_;
  RecordingPrompts prompts_;
};

}  // namespace corvane::test
