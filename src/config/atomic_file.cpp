#include "config/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>

namespace corvane {
namespace {

mode_t ModeOf(QFileDevice::Permissions permissions) {
  mode_t mode = 0;
  if (permissions & QFileDevice::ReadOwner) mode |= S_IRUSR;
  if (permissions & QFileDevice::WriteOwner) mode |= S_IWUSR;
  if (permissions & QFileDevice::ExeOwner) mode |= S_IXUSR;
  if (permissions & QFileDevice::ReadGroup) mode |= S_IRGRP;
  if (permissions & QFileDevice::WriteGroup) mode |= S_IWGRP;
  if (permissions & QFileDevice::ExeGroup) mode |= S_IXGRP;
  if (permissions & QFileDevice::ReadOther) mode |= S_IROTH;
  if (permissions & QFileDevice::WriteOther) mode |= S_IWOTH;
  if (permissions & QFileDevice::ExeOther) mode |= S_IXOTH;
  return mode;
}

bool WriteAll(int fd, const QByteArray& bytes) {
  const char* data = bytes.constData();
  qsizetype left = bytes.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    left -= written;
  }
  return true;
}

// Makes the rename itself durable; a folder that cannot be synced is not an error.
void SyncFolder(const QByteArray& folder) {
  const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

bool WriteFileAtomically(const QString& path, const QByteArray& bytes,
                         QFileDevice::Permissions permissions) {
  const QFileInfo info(path);
  const QByteArray target = QFile::encodeName(info.absoluteFilePath());
  const QByteArray folder = QFile::encodeName(info.absolutePath());
  QByteArray temporary =
      QFile::encodeName(info.absolutePath() + "/." + info.fileName()) + ".XXXXXX";

  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, ModeOf(permissions)) == 0 && WriteAll(fd, bytes) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = std::rename(temporary.constData(), target.constData()) == 0;
  if (!ok) {
    ::unlink(temporary.constData());
    return false;
  }
  SyncFolder(folder);
  return true;
}

bool MoveIntoPlaceDurably(const QString& temporary, const QString& path) {
  const QByteArray from = QFile::encodeName(temporary);
  const int fd = ::open(from.constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (!ok || std::rename(from.constData(), QFile::encodeName(path).constData()) != 0) return false;
  SyncFolder(QFile::encodeName(QFileInfo(path).absolutePath()));
  return true;
}

}  // namespace corvane
