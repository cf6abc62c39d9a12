#include "request_plan.h"

#include <algorithm>

#include "wire/control_chars.h"

namespace corvane::load {
namespace {

struct KindName {
  WorkloadKind kind;
  const char* name;
};

constexpr KindName kKindNames[] = {
    {WorkloadKind::kNext, "next"},           {WorkloadKind::kSendTheData, "senddata"},
    {WorkloadKind::kFindFirst, "findfirst"}, {WorkloadKind::kUpdate, "update"},
    {WorkloadKind::kOpen, "open"},           {WorkloadKind::kSort, "sort"},
    {WorkloadKind::kHold, "hold"},           {WorkloadKind::kHeavy, "heavy"},
    {WorkloadKind::kHandheld, "handheld"},
};

// Alternates a value between two texts, so every update really writes.
QByteArray Changed(const QByteArray& value) {
  if (value.endsWith('x')) return value.left(value.size() - 1);
  return value + 'x';
}

// "Update" with the values of a record reply ("Data": number, values; "Found": field, number,
// values), one of them changed; nothing for any other reply.
std::optional<QByteArray> UpdateText(const ClientReply& record, int field) {
  const qsizetype first = record.word == "Data" ? 1 : record.word == "Found" ? 2 : -1;
  if (first < 0 || record.fields.size() <= first) return std::nullopt;
  QList<QByteArray> values = record.fields.mid(first);
  if (field >= 0 && field < values.size()) values[field] = Changed(values[field]);
  return MessageText("Update", values);
}

}  // namespace

std::optional<WorkloadKind> ParseWorkloadKind(const QByteArray& name) {
  for (const KindName& entry : kKindNames) {
    if (name == entry.name) return entry.kind;
  }
  return std::nullopt;
}

QByteArray WorkloadName(WorkloadKind kind) {
  for (const KindName& entry : kKindNames) {
    if (kind == entry.kind) return entry.name;
  }
  return {};
}

QByteArray MessageText(const QByteArray& word, const QList<QByteArray>& fields) {
  QByteArray text = kStx + word + kEot;
  for (const QByteArray& field : fields) text += field + kEot;
  return text;
}

RequestPlan::RequestPlan(const WorkloadSpec& spec, int client)
    : spec_(spec), client_(client), random_(static_cast<std::mt19937::result_type>(client + 1)) {}

void RequestPlan::Opened(const ClientReply& fields) {
  if (!fields.fields.isEmpty()) records_ = std::max(1, fields.fields.front().toInt());
}

double RequestPlan::ThinkMs(double meanMs) {
  return std::uniform_real_distribution<double>(meanMs / 2, meanMs * 3 / 2)(random_);
}

std::optional<QByteArray> RequestPlan::HandheldText(const ClientReply* previous) {
  if (editPending_) {
    editPending_ = false;
    if (previous) {
      if (std::optional<QByteArray> update = UpdateText(*previous, spec_.updateField)) {
        return update;
      }
    }
  }
  const int draw = std::uniform_int_distribution<int>(0, 99)(random_);
  if (draw < PacedMix::kEditPerCent) {
    editPending_ = true;
    return MessageText("FindFirst", {"1", QByteArray::number(spec_.firstRecord + client_ + 1)});
  }
  if (draw < PacedMix::kEditPerCent + PacedMix::kFindPerCent) {
    const int key = std::uniform_int_distribution<int>(1, records_)(random_);
    return MessageText("FindFirst", {"1", QByteArray::number(key)});
  }
  if (previous && previous->word == "EOF") return MessageText("First");
  if (previous && previous->word == "BOF") return MessageText("Last");
  return MessageText(draw % (PacedMix::kNextPerPrev + 1) == 0 ? "Prev" : "Next");
}

QByteArray RequestPlan::OpenText() const {
  return MessageText("RequestTheTable",
                     {QByteArray::number(spec_.database), QByteArray::number(spec_.table)});
}

bool RequestPlan::FixedText() const {
  return spec_.kind != WorkloadKind::kNext && spec_.kind != WorkloadKind::kUpdate &&
         spec_.kind != WorkloadKind::kHeavy && spec_.kind != WorkloadKind::kHandheld;
}

bool RequestPlan::FinalReply(const ClientReply& reply) const {
  // A handheld's finds never answer "ErrorUpdate" (their texts hold no apostrophe).
  return !((spec_.kind == WorkloadKind::kUpdate || spec_.kind == WorkloadKind::kHandheld) &&
           reply.word == "ErrorUpdate");
}

std::optional<QByteArray> RequestPlan::NextText(const ClientReply* previous) {
  switch (spec_.kind) {
    case WorkloadKind::kNext:
      return MessageText(previous && previous->word == "EOF" ? "First" : "Next");
    case WorkloadKind::kSendTheData:
      return MessageText("SendTheData");
    case WorkloadKind::kFindFirst:
      return MessageText("FindFirst", {QByteArray::number(spec_.findMode), spec_.findText});
    case WorkloadKind::kOpen:
      return OpenText();
    case WorkloadKind::kSort:
      return MessageText("Sort", {spec_.sortOrder});
    case WorkloadKind::kUpdate:
      if (!previous) return std::nullopt;
      return UpdateText(*previous, spec_.updateField);
    case WorkloadKind::kHandheld:
      return HandheldText(previous);
    case WorkloadKind::kHeavy:
      switch (step_++ % 4) {
        case 0:
          return MessageText("Sort", {spec_.sortOrder});
        case 1:
          return MessageText("FindFirst", {QByteArray::number(spec_.findMode), spec_.findText});
        case 2:
          return MessageText("RequestTheQuery",
                             {QByteArray::number(spec_.database), QByteArray::number(spec_.query)});
        default:
          return OpenText();
      }
    case WorkloadKind::kHold:
    default:
      return std::nullopt;
  }
}

}  // namespace corvane::load
