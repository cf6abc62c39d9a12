#include "request_plan.h"

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
};

// Alternates a value between two texts, so every update really writes.
QByteArray Changed(const QByteArray& value) {
  if (value.endsWith('x')) return value.left(value.size() - 1);
  return value + 'x';
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

RequestPlan::RequestPlan(const WorkloadSpec& spec) : spec_(spec) {}

QByteArray RequestPlan::OpenText() const {
  return MessageText("RequestTheTable",
                     {QByteArray::number(spec_.database), QByteArray::number(spec_.table)});
}

bool RequestPlan::FixedText() const {
  return spec_.kind != WorkloadKind::kNext && spec_.kind != WorkloadKind::kUpdate &&
         spec_.kind != WorkloadKind::kHeavy;
}

bool RequestPlan::FinalReply(const ClientReply& reply) const {
  return !(spec_.kind == WorkloadKind::kUpdate && reply.word == "ErrorUpdate");
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
    case WorkloadKind::kUpdate: {
      if (!previous) return std::nullopt;
      // "Data": number, values; "Found": field, number, values.
      const qsizetype first = previous->word == "Data" ? 1 : previous->word == "Found" ? 2 : -1;
      if (first < 0 || previous->fields.size() <= first) return std::nullopt;
      QList<QByteArray> values = previous->fields.mid(first);
      if (spec_.updateField >= 0 && spec_.updateField < values.size()) {
        values[spec_.updateField] = Changed(values[spec_.updateField]);
      }
      return MessageText("Update", values);
    }
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
