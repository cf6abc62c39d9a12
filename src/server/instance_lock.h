#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

namespace corvane {

// One running server per program directory. The lock file names the owning process, so
// a lock left behind by a crashed instance is recognised as stale and taken over.
class InstanceLock {
 public:
  explicit InstanceLock(const QString& programDir);

  // False when another live instance holds the directory.
  bool TryAcquire();
  void Release();

 private:
  std::unique_ptr<QLockFile> lock_;
};

}  // namespace corvane
