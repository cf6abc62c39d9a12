#include "server/instance_lock.h"

#include <QDir>

namespace corvane {

InstanceLock::InstanceLock(const QString& programDir)
    : lock_(std::make_unique<QLockFile>(QDir(programDir).filePath("corvane-server.lock"))) {
  // Only a dead owner makes a lock stale; age alone must never let a second server in.
  lock_->setStaleLockTime(0);
}

bool InstanceLock::TryAcquire() { return lock_->isLocked() || lock_->tryLock(0); }

void InstanceLock::Release() { lock_->unlock(); }

}  // namespace corvane
