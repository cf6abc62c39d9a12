#pragma once

// A server database in the throwaway cluster that run-with-cluster.sh starts: the public
// schema emptied before each test, set up with plain SQL.

#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QThread>

#include "engine/engine_error.h"
#include "postgres/pg_connection.h"
#include "postgres/served_databases.h"
#include "support/engine_errors.h"
#include "support/sqlite_files.h"
#include "support/test_database.h"
#include "support/test_server.h"

namespace corvane::test {

// Stops, starts or restarts the throwaway cluster's server; false when that failed or the
// environment names no single cluster version.
inline bool PgCluster(const QString& action) {
  const QString version = qEnvironmentVariable("PGVERSION");
  if (version.isEmpty()) return false;
  QProcess control;
  control.start(QStringLiteral("pg_ctlcluster"), {version, QStringLiteral("regress"), action});
  return control.waitForFinished(120000) && control.exitStatus() == QProcess::NormalExit &&
         control.exitCode() == 0;
}

// The lock file of the cluster's server: it names the server's process first, and goes
// when the server has stopped.
inline QString PgPidFile() {
  return QDir(PgValue("SHOW data_directory", PgSuperuserLocation())).filePath("postmaster.pid");
}
inline qint64 PgPostmaster(const QString& pidFile) {
  QFile file(pidFile);
  return file.open(QIODevice::ReadOnly) ? file.readLine().trimmed().toLongLong() : 0;
}

// A fast restart: running statements are ended with their sessions. Stopped by a signal,
// since pg_ctlcluster looks for a running server through a pid file that the clusters of
// all test runs on the machine share, and another run's may have removed it.
inline bool PgFastRestart() {
  const QString pidFile = PgPidFile();
  const qint64 postmaster = PgPostmaster(pidFile);
  if (postmaster <= 0 || ::kill(static_cast<pid_t>(postmaster), SIGINT) != 0) return false;
  for (int wait = 0; wait < 600 && QFile::exists(pidFile); ++wait) QThread::msleep(100);
  return PgCluster(QStringLiteral("start"));
}

class PgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!PgAvailable()) GTEST_SKIP() << kNoCluster;
    PgEmptySchema();
  }
  static QString Location() { return PgLocation(); }
  static void Exec(const QString& sql) { PgExec(sql); }
  static QString Value(const QString& sql) { return PgValue(sql); }
};

// Table people (1 Ann, 2 Bob) in the emptied cluster and in the file `file`, published by
// `server` as "Remote" (database 0) and "Shop" (database 1).
inline void PublishPeopleInClusterAndFile(TestServer& server, const QString& file) {
  PgEmptySchema();
  PgExec(
      "CREATE TABLE people (id int PRIMARY KEY, name varchar(10)); "
      "INSERT INTO people VALUES (1, 'Ann'), (2, 'Bob')");
  ExecOnFile(file, "CREATE TABLE people (id INTEGER PRIMARY KEY, name VARCHAR(10))");
  ExecOnFile(file, "INSERT INTO people VALUES (1, 'Ann'), (2, 'Bob')");
  server.catalogue.Replace(
      {{{QStringLiteral("Remote"), PgLocation()}, {QStringLiteral("Shop"), file}},
       {{QStringLiteral("people")}, {QStringLiteral("people")}},
       {{}, {}}});
}

}  // namespace corvane::test
