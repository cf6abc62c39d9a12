#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "access/access_values.h"

namespace corvane {

// Access field types, by the codes the file format stores.
enum class AccessType {
  kBoolean = 0x01,
  kByte = 0x02,
  kInteger = 0x03,
  kLong = 0x04,
  kCurrency = 0x05,
  kSingle = 0x06,
  kDouble = 0x07,
  kDateTime = 0x08,
  kBinary = 0x09,
  kText = 0x0a,
  kOle = 0x0b,
  kMemo = 0x0c,
  kGuid = 0x0f,
  kDecimal = 0x10,
  kComplex = 0x12,
};

struct AccessColumn {
  QString name;
  AccessType type = AccessType::kText;
  int size = 0;  // characters of Text, bytes of Binary
  int precision = 0;
  int scale = 0;
  bool autoNumber = false;
  bool required = false;
};

struct AccessIndex {
  QString name;
  bool primaryKey = false;
  bool unique = false;
  std::vector<int> columns;  // positions in AccessTableDef::columns
  std::vector<bool> descending;
};

struct AccessTableDef {
  QString name;
  qint64 storedRowCount = 0;  // as the table definition records it; 0 after a bad close
  std::vector<AccessColumn> columns;
  std::vector<AccessIndex> indexes;
};

// One open Access file (Jet 3, Jet 4 or ACE), read-only, through mdbtools.
class AccessFile {
 public:
  // Returns nullptr with *error set when the file is no Access database or cannot be
  // read. Never writes to the file.
  static std::unique_ptr<AccessFile> Open(const QString& path, QString* error);
  ~AccessFile();
  AccessFile(const AccessFile&) = delete;
  AccessFile& operator=(const AccessFile&) = delete;

  bool isJet3() const;
  QString formatName() const;  // "Jet 3", "Jet 4", "ACE 12" ...

  // Names of the user tables, in catalogue order.
  QStringList UserTables() const;

  // A table's definition (also of system tables); nullopt when it cannot be read.
  std::optional<AccessTableDef> ReadTable(const QString& name) const;

  // Calls onRow for every row of the table, with one value per column in definition
  // order; stops early when onRow returns false. False when the table cannot be read.
  using RowHandler = std::function<bool(const std::vector<AccessValue>& row)>;
  bool ForEachRow(const QString& table, const RowHandler& onRow) const;

 private:
  struct Handle;
  explicit AccessFile(std::unique_ptr<Handle> handle);
  std::unique_ptr<Handle> d_;
};

// Whether the file starts like an Access database ("Standard Jet DB" or "Standard ACE
// DB" at byte 4).
bool HasAccessSignature(const QString& path);

}  // namespace corvane
