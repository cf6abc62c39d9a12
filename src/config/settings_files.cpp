#include "config/settings_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtDebug>
#include <optional>
#include <utility>

#include "config/atomic_file.h"
#include "config/sequential_records.h"

namespace corvane {
namespace {

bool FileExists(const QString& path) { return QFileInfo(path).isFile(); }

std::optional<QByteArray> ReadWholeFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) return std::nullopt;
  return bytes;
}

void Replace(const QString& path, const QByteArray& bytes) {
  if (!WriteFileAtomically(path, bytes)) qWarning("Could not write %s", qUtf8Printable(path));
}

// Reads the fields of one general.dat line. After a field that cannot be read, the rest
// of the line keeps its values; a field beyond the end of the file reads as nothing.
class GeneralLine {
 public:
  explicit GeneralLine(SequentialReader& reader) : reader_(reader) {}

  void Read(SettingNumber& number) {
    if (stopped_) return;
    if (!reader_.ReadNumber(number)) Failed([&] { number.reset(); });
  }
  void Read(int16_t& number) {
    if (stopped_) return;
    if (!reader_.ReadInt16(number)) Failed([&] { number = 0; });
  }
  void Read(int32_t& number) {
    if (stopped_) return;
    if (!reader_.ReadInt32(number)) Failed([&] { number = 0; });
  }
  void End() {
    if (stopped_) reader_.SkipRestOfLine();
  }

 private:
  template <typename Clear>
  void Failed(Clear clear) {
    if (reader_.failed_past_end()) {
      clear();
    } else {
      stopped_ = true;
    }
  }

  SequentialReader& reader_;
  bool stopped_ = false;
};

}  // namespace

SettingsFiles::SettingsFiles(QString programDir) : programDir_(std::move(programDir)) {}

QString SettingsFiles::FilePath(const char* name) const {
  return QDir(programDir_).filePath(QString::fromLatin1(name));
}

QString SettingsFiles::UserFilePath() const { return FilePath("User.dat"); }
QString SettingsFiles::DatabaseFilePath() const { return FilePath("database.dat"); }
QString SettingsFiles::GeneralFilePath() const { return FilePath("general.dat"); }
QString SettingsFiles::NetworkFilePath() const { return FilePath("network.dat"); }

bool SettingsFiles::LoadWindowPlacement(ServerSettings& settings) {
  const QString path = UserFilePath();
  if (!FileExists(path)) return false;
  const std::optional<QByteArray> bytes = ReadWholeFile(path);
  if (!bytes) return false;
  SequentialReader reader(*bytes);
  SettingNumber top;
  SettingNumber left;
  int32_t width = 0;
  SettingNumber height;
  if (!reader.ReadNumber(top) || !reader.ReadNumber(left) || !reader.ReadInt32(width) ||
      !reader.ReadNumber(height)) {
    return false;
  }
  settings.WindowTop = top;
  settings.WindowLeft = left;
  settings.WindowWidth = width;
  settings.WindowHeight = height;
  return true;
}

void SettingsFiles::SaveWindowPlacement(const ServerSettings& settings) {
  SequentialWriter writer;
  writer.WriteNumber(settings.WindowTop);
  writer.WriteNumber(settings.WindowLeft);
  writer.EndRecord();
  writer.WriteInteger(settings.WindowWidth.value_or(0));
  writer.WriteNumber(settings.WindowHeight);
  writer.EndRecord();
  Replace(UserFilePath(), writer.bytes());
}

bool SettingsFiles::LoadDatabaseList(PublishedList& published) {
  const QString path = DatabaseFilePath();
  if (!FileExists(path)) return false;
  published.clear();
  const std::optional<QByteArray> bytes = ReadWholeFile(path);
  if (!bytes) return false;
  SequentialReader reader(*bytes);
  // Even an empty file holds one line to read, so a zero-byte file is a read error.
  do {
    PublishedDatabase entry;
    if (!reader.ReadText(entry.name) || !reader.ReadText(entry.location)) return false;
    // A server database has no file to look for: whether it answers is the database
    // check's to find out.
    if (entry.IsServerDatabase() || FileExists(entry.location)) {
      published.push_back(std::move(entry));
    }
  } while (!reader.AtEnd());
  return true;
}

void SettingsFiles::SaveDatabaseList(const PublishedList& published) {
  const QString path = DatabaseFilePath();
  if (published.empty()) {
    QFile::remove(path);
    return;
  }
  SequentialWriter writer;
  for (const PublishedDatabase& entry : published) {
    writer.WriteText(entry.name);
    writer.WriteText(entry.location);
    writer.EndRecord();
  }
  Replace(path, writer.bytes());
}

void SettingsFiles::LoadGeneralSettings(ServerSettings& settings) {
  const QString path = GeneralFilePath();
  if (!FileExists(path)) {
    settings.RefreshRate = 5;
    return;
  }
  const std::optional<QByteArray> bytes = ReadWholeFile(path);
  if (!bytes) return;
  SequentialReader reader(*bytes);

  GeneralLine first(reader);
  first.Read(settings.RunAtStartup);
  first.Read(settings.RunMinimized);
  first.Read(settings.RefreshRate);
  first.Read(settings.KeepLogFile);
  first.Read(settings.EncryptionEnabled);
  first.End();

  GeneralLine second(reader);
  second.Read(settings.AllowMultipleLogons);
  second.Read(settings.InactivityLimit);
  second.End();
}

void SettingsFiles::SaveGeneralSettings(const ServerSettings& settings) {
  SequentialWriter writer;
  writer.WriteNumber(settings.RunAtStartup);
  writer.WriteNumber(settings.RunMinimized);
  writer.WriteInteger(settings.RefreshRate);
  writer.WriteNumber(settings.KeepLogFile);
  writer.WriteInteger(settings.EncryptionEnabled);
  writer.EndRecord();
  writer.WriteNumber(settings.AllowMultipleLogons);
  writer.WriteInteger(settings.InactivityLimit);
  writer.EndRecord();
  Replace(GeneralFilePath(), writer.bytes());
}

bool SettingsFiles::LoadNetworkSettings(ServerSettings& settings) {
  const QString path = NetworkFilePath();
  if (!FileExists(path)) return false;
  const std::optional<QByteArray> bytes = ReadWholeFile(path);
  if (!bytes) return false;
  SequentialReader reader(*bytes);
  if (!reader.ReadInt16(settings.ListenPort)) return false;
  return settings.ListenPort != 0;
}

void SettingsFiles::SaveNetworkSettings(const ServerSettings& settings) {
  const QString path = NetworkFilePath();
  if (settings.ListenPort == 0) {
    QFile::remove(path);
    return;
  }
  SequentialWriter writer;
  writer.WriteInteger(settings.ListenPort);
  writer.EndRecord();
  Replace(path, writer.bytes());
}

}  // namespace corvane
