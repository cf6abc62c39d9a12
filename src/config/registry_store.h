#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace corvane {

// Stands in for the machine-wide registry hive the user store lives in. Keys are named by
// their full path below the root ("Software\Morvat\U1"); each key holds named values in
// the order they were first written. Names and data are byte strings.
//
// Everything lives in one SQLite file, "registry.db" in the program's directory, readable
// by its owner only. The file is opened for each operation and closed again, so nothing
// stays open between operations and other processes (the admin command line) may write
// to it while the server runs. Reading never creates the file.
class RegistryStore {
 public:
  explicit RegistryStore(const QString& programDir);

  RegistryStore(const RegistryStore&) = delete;
  RegistryStore& operator=(const RegistryStore&) = delete;

  QString FilePath() const { return filePath_; }

  // True when the key exists (it can be opened).
  bool KeyExists(const QByteArray& keyPath) const;
  // Creates the key, and any missing key above it, or finds it already there.
  bool CreateKey(const QByteArray& keyPath);
  // Deletes the key with its values. Fails when it is missing or still has subkeys.
  bool DeleteKey(const QByteArray& keyPath);

  // The name of the value at this index, counting from 0 in the order the values were
  // first written; nullopt past the last value or when the key is missing.
  std::optional<QByteArray> EnumValueName(const QByteArray& keyPath, int index) const;
  // Every value name of the key in the same order, read at once; nullopt without the key.
  std::optional<QList<QByteArray>> ValueNames(const QByteArray& keyPath) const;

  // Reads a value into a buffer of bufferSize bytes: the data followed by NULs up to the
  // buffer's size. nullopt when the key or value is missing or the data does not fit.
  std::optional<QByteArray> QueryValue(const QByteArray& keyPath, const QByteArray& name,
                                       int bufferSize) const;
  // Writes a value into an existing key. Overwriting keeps the value's place in the order.
  bool SetValue(const QByteArray& keyPath, const QByteArray& name, const QByteArray& data);
  // False when the key or the value is missing.
  bool DeleteValue(const QByteArray& keyPath, const QByteArray& name);

 private:
  QString filePath_;
};

}  // namespace corvane
