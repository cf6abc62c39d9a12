#pragma once

#include <QString>
#include <optional>

namespace corvane {

// "postgres.dat" in the program directory, written by hand only: one record holding how
// long, in milliseconds, records a server database's set read ahead serve its moves (int32,
// 0 or more). Nothing when the file is missing or holds no such number.
class PostgresSettingsFile {
 public:
  explicit PostgresSettingsFile(QString programDir);

  std::optional<int> LoadFreshMs() const;

  QString FilePath() const;

 private:
  QString programDir_;
};

}  // namespace corvane
