#pragma once

#include <QByteArray>
#include <QString>

namespace corvane::test {

// Writes `bytes` as the whole file, creating or truncating it; false when it cannot.
bool WriteFileBytes(const QString& path, const QByteArray& bytes);

// The whole file; "<missing>" when it cannot be read, so that tests tell a missing file
// from an empty one.
QByteArray ReadFileBytes(const QString& path);

}  // namespace corvane::test
