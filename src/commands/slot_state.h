#pragma once

#include <QByteArray>

#include "activity/activity_entry.h"
#include "commands/slot_database.h"
#include "protocol/slot_session.h"

namespace corvane {

// What one request of a slot works on: the slot's number, its session record and its
// database side. On a worker thread these are the request's own (the slot gets them back
// when the request is done), so nothing else reads them meanwhile.
struct SlotState {
  int number;
  SlotSession& session;
  SlotDatabase& database;
};

// The facts of an activity row of `code`, taken now: who is on the slot and what it has
// open. The record column holds the current record's number or the record count, as the
// event shows it.
ActivityEntry SlotActivity(const SlotState& state, const QByteArray& code);

}  // namespace corvane
