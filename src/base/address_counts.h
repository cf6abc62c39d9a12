#pragma once

#include <QHash>
#include <QString>

namespace corvane {

// Connections held now, per address and in all: the listeners admit a new one only while
// its address and the server are below their most.
class AddressCounts {
 public:
  // Counts one more for `address`; false (nothing counted) when that address already holds
  // `mostPerAddress` or all addresses together `most`.
  bool TryTake(const QString& address, int mostPerAddress, int most);
  void Release(const QString& address);

 private:
  QHash<QString, int> perAddress_;
  int total_ = 0;
};

}  // namespace corvane
