// The settings-file readers: the first byte picks the file, the rest is its content as an
// operator might have edited it (or a crash might have left it). Also drives the record
// reader directly, with the read sequence chosen by the input.
#include <QDir>
#include <QFile>

#include "config/sequential_records.h"
#include "config/settings_files.h"
#include "harness.h"

using namespace corvane;

namespace {

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) fuzz::Fail("scratch file");
  file.write(bytes);
}

void ReadRecords(uint8_t plan, const QByteArray& bytes) {
  SequentialReader reader(bytes);
  for (int i = 0; i < 4096 && !reader.AtEnd(); ++i) {
    switch ((plan >> ((i % 4) * 2)) & 3) {
      case 0: {
        QString text;
        reader.ReadText(text);
        break;
      }
      case 1: {
        SettingNumber number;
        reader.ReadNumber(number);
        break;
      }
      case 2: {
        int16_t number = 0;
        reader.ReadInt16(number);
        break;
      }
      default: {
        int32_t number = 0;
        reader.ReadInt32(number);
        reader.SkipRestOfLine();
        break;
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::InputReader input(data, size);
  const uint8_t which = input.Byte();
  const QByteArray content = input.Rest();
  const QString dir = fuzz::ScratchDirectory();
  SettingsFiles files(dir);
  ServerSettings settings;

  switch (which % 5) {
    case 0:
      WriteFile(files.UserFilePath(), content);
      files.LoadWindowPlacement(settings);
      break;
    case 1: {
      WriteFile(files.DatabaseFilePath(), content);
      PublishedList published;
      files.LoadDatabaseList(published);
      // What was read survives a save and a load unchanged (texts are written without
      // escaping, so one holding a double quote cannot).
      bool quoted = false;
      for (const PublishedDatabase& entry : published) {
        quoted = quoted || entry.name.contains(u'"') || entry.location.contains(u'"');
      }
      files.SaveDatabaseList(published);
      PublishedList again;
      files.LoadDatabaseList(again);
      fuzz::Expect(quoted || again == published, "database.dat reads back what was saved");
      break;
    }
    case 2:
      WriteFile(files.GeneralFilePath(), content);
      files.LoadGeneralSettings(settings);
      break;
    case 3:
      WriteFile(files.NetworkFilePath(), content);
      files.LoadNetworkSettings(settings);
      break;
    default:
      ReadRecords(which, content);
      break;
  }
  return 0;
}
