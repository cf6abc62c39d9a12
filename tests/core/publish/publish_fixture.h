#pragma once

// A server in a temporary program directory whose database.dat names Access files
// copied from the third-party fixtures, with the operator's message boxes recorded.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <memory>

#include "config/user_list_model.h"
#include "server/server_instance.h"
#include "support/access_fixtures.h"

namespace corvane::test {

class RecordingPrompts : public OperatorPrompts {
 public:
  bool ConfirmOkCancel(const QString&, const QString&, Icon) override { return true; }
  void ShowMessage(const QString& text, const QString& title, Icon icon) override {
    titles << title;
    texts << text;
    critical = critical && icon == Icon::Critical;
  }
  QStringList titles;
  QStringList texts;
  bool critical = true;
};

class PublishTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_FIXTURES();
    ASSERT_TRUE(program_.isValid() && sources_.isValid());
  }

  QString ProgramPath(const QString& name) const { return QDir(program_.path()).filePath(name); }

  // A writable copy of a fixture among the operator's files.
  QString CopyFixture(const QString& fixture, const QString& name) {
    const QString path = QDir(sources_.path()).filePath(name);
    EXPECT_TRUE(QFile::copy(Fixture(fixture), path)) << fixture.toStdString();
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return path;
  }
  QString WriteSource(const QString& name, const QByteArray& bytes) {
    const QString path = QDir(sources_.path()).filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    return path;
  }
  static QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  // database.dat with one entry per file, and what else a start-up needs.
  void WriteSetup(const QStringList& published, quint16 port = 5000) {
    QByteArray list;
    for (const QString& path : published)
      list += "\"" + QFileInfo(path).fileName().toUtf8() + "\",\"" + path.toUtf8() + "\"\r\n";
    WriteProgramFile(QStringLiteral("database.dat"), list);
    WriteProgramFile(QStringLiteral("network.dat"), QByteArray::number(port) + "\r\n");
  }
  void WriteProgramFile(const QString& name, const QByteArray& bytes) {
    QFile file(ProgramPath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
  }

  // A server that ran its start-up over the program directory.
  std::unique_ptr<ServerInstance> StartedServer() {
    auto server = std::make_unique<ServerInstance>(program_.path(), prompts_,
                                                   HostIdentity{"HOST", "127.0.0.1"});
    server->SetConversionChild(ServerConversion());
    UserListModel users;
    users.Append({QStringLiteral("ANN"), QStringLiteral("PW1"), QStringLiteral("12345678")});
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
