#pragma once

#include <memory>
#include <utility>

#include "base/catalogue.h"

namespace corvane {

// The current catalogue, shared as immutable snapshots. A request takes the snapshot that is
// current when it starts and reads it on any thread for as long as it runs; a change (a saved
// query, the database check, a database offered again, the setup's list) builds a new
// snapshot and swaps it in. Snapshots are taken and swapped on the event-loop thread only.
class SharedCatalogue {
 public:
  std::shared_ptr<const Catalogue> Snapshot() const { return current_; }
  // Valid until the next change; for readers on the event-loop thread.
  const Catalogue& Current() const { return *current_; }

  void Replace(Catalogue next) { current_ = std::make_shared<const Catalogue>(std::move(next)); }
  // A copy of the current snapshot, changed by `change`, becomes the current one.
  template <typename Edit>
  void Change(Edit&& change) {
    Catalogue next = *current_;
    std::forward<Edit>(change)(next);
    Replace(std::move(next));
  }

 private:
  std::shared_ptr<const Catalogue> current_ = std::make_shared<const Catalogue>();
};

}  // namespace corvane
