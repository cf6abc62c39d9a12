#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <vector>

#include "access/conversion_child.h"

namespace corvane::test {

// The folder of the third-party Access fixtures: $CORVANE_ACCESS_FIXTURES, else
// ../shared/data/access beside the source tree. Empty when absent.
QString FixtureDir();
QString Fixture(const QString& name);

// Conversions run by the built corvane-server: a test executable has no --import-access.
ConversionChild ServerConversion();

#define SKIP_WITHOUT_FIXTURES()                                                      \
  if (::corvane::test::FixtureDir().isEmpty())                                       \
  GTEST_SKIP() << "Access fixtures not found: set CORVANE_ACCESS_FIXTURES or place " \
                  "them in ../shared/data/access"

// What mdbtools' own row reader (the one its export tool uses) reports for a table.
struct ReferenceColumn {
  QString name;
  int type = 0;
};
struct ReferenceTable {
  QString name;
  std::vector<ReferenceColumn> columns;
  std::vector<QStringList> rows;  // values as mdbtools formats them; Null as ""
};
QStringList ReferenceTableNames(const QString& path);
ReferenceTable ReferenceRead(const QString& path, const QString& table);

}  // namespace corvane::test
