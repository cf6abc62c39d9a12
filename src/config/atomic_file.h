#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

namespace corvane {

inline constexpr QFileDevice::Permissions kDefaultFilePermissions =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
    QFileDevice::ReadOther;

// Replaces the file at `path` with `bytes` so that a crash or power cut leaves either the
// old file or the new one, never a mix: the bytes go to a temporary file in the same
// folder, which is flushed to disk and then renamed over the old one. The new file gets
// exactly `permissions`. False when anything fails; the old file is then untouched and
// no temporary file is left behind.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes,
                         QFileDevice::Permissions permissions = kDefaultFilePermissions);

// Puts the finished file `temporary` in place at `path` (same folder) so that a crash
// leaves either no file at `path` or the whole of it: flushed to disk, then renamed. False
// when either fails; `temporary` is then left for the caller.
bool MoveIntoPlaceDurably(const QString& temporary, const QString& path);

}  // namespace corvane
