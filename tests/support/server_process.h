#pragma once

// The real corvane-server executable over a temporary program directory: admin actions run
// to their end, and a headless server that a test starts, talks to and kills.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

#include "client/corvane_client.h"

namespace corvane::test {

struct ServerRun {
  int exitCode = -1;  // -1 when the process crashed, was killed or did not finish
  QByteArray out;
  QByteArray err;
};

// Runs corvane-server with `arguments` to its end.
ServerRun RunServer(const QStringList& arguments, int timeoutMs = 30000);

class ServerProcessTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
  void TearDown() override;

  QString Path(const QString& name) const { return dir_.filePath(name); }
  // corvane-server --dir <the directory> `arguments`, run to its end.
  ServerRun Run(const QStringList& arguments) {
    return RunServer(QStringList{QStringLiteral("--dir"), dir_.path()} + arguments);
  }
  // network.dat on a free port, the user "demo" with the password "pw", and database.dat
  // naming the files of the directory given; the files themselves are the test's.
  void WriteSetup(const QStringList& databases);
  // Starts the headless server (with `arguments` besides --headless and --dir) and waits
  // for its "Server Started".
  void StartServer(const QStringList& arguments = {});
  // Waits until the server's output holds `text`; everything it printed so far.
  QByteArray WaitForOutput(const QByteArray& text, int timeoutMs = 10000);
  // A client logged on as "demo".
  std::unique_ptr<CorvaneClient> LoggedOn();

  QTemporaryDir dir_;
  QProcess server_;
  QByteArray output_;
  quint16 port_ = 0;
  int32_t key_ = 0;
};

}  // namespace corvane::test
