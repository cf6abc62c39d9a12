#pragma once

#include <QString>

namespace corvane {

// Copies the database at `source` into a new file at `target` with SQLite's online backup,
// while other connections, in this process or others, go on reading and writing it. The
// copy is one committed state of the source. It is copied a few pages at a time so that
// writers wait on it only briefly; when they change the source so often that the copy
// keeps starting over, the rest is copied in one read transaction (which in WAL mode
// holds no writer back). `target` is not synced to disk. False, with SQLite's message in
// `error`, when the copy failed; `target` may then hold part of a copy.
bool CopyDatabaseOnline(const QString& source, const QString& target, QString* error);

}  // namespace corvane
