#include "base/address_counts.h"

namespace corvane {

bool AddressCounts::TryTake(const QString& address, int mostPerAddress, int most) {
  const auto it = perAddress_.constFind(address);
  const int mine = it == perAddress_.constEnd() ? 0 : it.value();
  if (mine >= mostPerAddress || total_ >= most) return false;
  perAddress_[address] = mine + 1;
  ++total_;
  return true;
}

void AddressCounts::Release(const QString& address) {
  const auto it = perAddress_.find(address);
  if (it == perAddress_.end()) return;
  if (--it.value() <= 0) perAddress_.erase(it);
  --total_;
}

}  // namespace corvane
