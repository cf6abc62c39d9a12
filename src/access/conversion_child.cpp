#include "access/conversion_child.h"

#include <sys/prctl.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryFile>
#include <algorithm>
#include <climits>
#include <csignal>

namespace corvane {

namespace {

constexpr qint64 kBaseTimeLimitMs = 60 * 1000;
constexpr qint64 kTimeLimitMsPerMegabyte = 1000;
constexpr qint64 kMegabyte = 1024 * 1024;
// What a killed child gets to be reaped in.
constexpr int kReapTimeMs = 5000;

int TimeLimitMs(const ConversionChild& child, const QString& source) {
  qint64 limit = child.timeLimit.count();
  if (limit <= 0)
    limit = kBaseTimeLimitMs + QFileInfo(source).size() / kMegabyte * kTimeLimitMsPerMegabyte;
  return static_cast<int>(std::min<qint64>(limit, INT_MAX));
}

AccessImportResult Failure(const QString& source, const QString& error) {
  AccessImportResult result;
  result.report.source = source;
  result.error = error;
  return result;
}

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

AccessImportResult ConvertInChild(const ConversionChild& child, const QString& source,
                                  const QString& target) {
  QTemporaryFile report(QDir(QDir::tempPath()).filePath(QStringLiteral("corvane-import-XXXXXX")));
  if (!report.open()) {
    return Failure(
        source,
        QStringLiteral("%1 cannot be imported: no file for the reader's report.").arg(source));
  }
  report.close();

  QProcess process;
  process.setProgram(child.program.isEmpty() ? QCoreApplication::applicationFilePath()
                                             : child.program);
  process.setArguments({QStringLiteral("--import-access"), source, target,
                        QLatin1String(kImportReportOption), report.fileName()});
  // The reader's warnings about odd pages mean nothing to the operator, and must not mix
  // with the report on the command line.
  process.setStandardInputFile(QProcess::nullDevice());
  process.setStandardOutputFile(QProcess::nullDevice());
  process.setStandardErrorFile(QProcess::nullDevice());
  // A reader left behind by a server that died would read on alone.
  process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
  process.start();
  if (!process.waitForStarted()) {
    return Failure(source, QStringLiteral("%1 cannot be imported: no reader process.").arg(source));
  }
  const bool finished = process.waitForFinished(TimeLimitMs(child, source));
  if (!finished) {
    process.kill();
    process.waitForFinished(kReapTimeMs);
  }
  AccessImportResult result;
  if (finished && process.exitStatus() == QProcess::NormalExit &&
      AccessImportResult::Deserialize(ReadFile(report.fileName()), &result))
    return result;
  return Failure(source, QStringLiteral("%1 is damaged: reading it stopped %2.")
                             .arg(source, !finished ? QStringLiteral("because the reader did "
                                                                     "not finish")
                                          : process.exitStatus() == QProcess::CrashExit
                                              ? QStringLiteral("with a fault in the reader")
                                              : QStringLiteral("unexpectedly")));
}

bool WriteConversionResult(const QString& reportPath, const AccessImportResult& result) {
  QFile file(reportPath);
  const QByteArray bytes = result.Serialize();
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
         file.write(bytes) == bytes.size() && file.flush();
}

}  // namespace corvane
