#include "access/access_file.h"

#include <QFile>
#include <algorithm>
#include <cstdlib>

extern "C" {
#include <mdbtools.h>
}

namespace corvane {

namespace {

constexpr int kOffsetMask = 0x1fff;
constexpr int kDeletedRow = 0x4000;
constexpr int kLongValueHeader = 12;  // length and flags, page and row, unused

MdbCatalogEntry* FindEntry(MdbHandle* mdb, const QString& name) {
  const QByteArray utf8 = name.toUtf8();
  for (unsigned i = 0; i < mdb->num_catalog; ++i) {
    auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
    if (entry->object_type == MDB_TABLE && utf8 == entry->object_name) return entry;
  }
  return nullptr;
}

struct TableDefDeleter {
  void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};
using TablePtr = std::unique_ptr<MdbTableDef, TableDefDeleter>;

TablePtr OpenTable(MdbHandle* mdb, const QString& name) {
  MdbCatalogEntry* entry = FindEntry(mdb, name);
  if (!entry) return nullptr;
  TablePtr table(mdb_read_table(entry));
  if (!table || !mdb_read_columns(table.get())) return nullptr;
  return table;
}

MdbColumn* ColumnAt(MdbTableDef* table, unsigned i) {
  return static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
}

// The bytes of a Memo or OLE value: inline after the header, on one long-value page,
// or on a chain of them. False when the chain is broken.
bool ReadLongValue(MdbHandle* mdb, int start, int size, QByteArray& out) {
  out.resize(0);
  if (size < kLongValueHeader) return true;
  const unsigned char* head = mdb->pg_buf + start;
  const uint32_t word = static_cast<uint32_t>(ReadInt32(head));
  const uint32_t length = word & 0x3fffffff;
  if (word & 0x80000000u) {
    out.append(reinterpret_cast<const char*>(head + kLongValueHeader), size - kLongValueHeader);
    return true;
  }
  int pageRow = ReadInt32(head + 4);
  void* buf = nullptr;
  int rowStart = 0;
  size_t rowSize = 0;
  if (word & 0x40000000u) {
    if (mdb_find_pg_row(mdb, pageRow, &buf, &rowStart, &rowSize) != 0) return false;
    out.append(static_cast<const char*>(buf) + rowStart,
               static_cast<qsizetype>(std::min<size_t>(rowSize, length)));
    return true;
  }
  if (word & 0xff000000u) return false;
  // Each page of a chain starts with the next page's address.
  while (pageRow != 0 && static_cast<uint32_t>(out.size()) < length) {
    if (mdb_find_pg_row(mdb, pageRow, &buf, &rowStart, &rowSize) != 0 || rowSize < 4) return false;
    const auto* row = static_cast<const unsigned char*>(buf) + rowStart;
    const size_t take = std::min<size_t>(rowSize - 4, length - out.size());
    out.append(reinterpret_cast<const char*>(row + 4), static_cast<qsizetype>(take));
    pageRow = ReadInt32(row);
  }
  return static_cast<uint32_t>(out.size()) == length;
}

// The length of a calculated column's value: 16 zero bytes, the length, the value and
// three bytes of padding. -1 when the bytes are not laid out so.
constexpr int kCalculatedHeader = 20;
int CalculatedLength(const unsigned char* p, int size) {
  if (size < kCalculatedHeader + 3) return -1;
  for (int i = 0; i < 16; ++i) {
    if (p[i] != 0) return -1;
  }
  const int length = ReadInt32(p + 16);
  return length >= 0 && length + kCalculatedHeader + 3 == size ? length : -1;
}

void ReadCell(MdbHandle* mdb, const MdbColumn* col, const MdbField& field, bool jet3,
              QByteArray& scratch, AccessValue& out) {
  if (col->col_type == MDB_BOOL) {
    // Yes/No lives in the null mask: a set bit is Yes.
    out.SetInteger(field.is_null ? 0 : 1);
    return;
  }
  if (field.is_null) {
    out.SetNull();
    return;
  }
  const int pageSize = static_cast<int>(mdb->fmt->pg_size);
  const int start = field.start;
  if (start < 0 || field.siz < 0 || start + field.siz > pageSize) {
    out.SetNull();
    return;
  }
  const unsigned char* p = mdb->pg_buf + start;
  int size = field.siz;
  if (!col->is_fixed && mdb->f->jet_version >= MDB_VER_ACCDB_2010) {
    if (const int length = CalculatedLength(p, size); length >= 0) {
      // A calculated column keeps its last result behind a header.
      if (length == 0) return out.SetNull();
      p += kCalculatedHeader;
      size = length;
    }
  }
  auto fits = [&](int needed) { return size >= needed; };
  switch (col->col_type) {
    case MDB_BYTE:
      if (fits(1)) return out.SetInteger(p[0]);
      break;
    case MDB_INT:
      if (fits(2)) return out.SetInteger(ReadInt16(p));
      break;
    case MDB_LONGINT:
    case MDB_COMPLEX:
      if (fits(4)) return out.SetInteger(ReadInt32(p));
      break;
    case MDB_MONEY:
      if (fits(8)) return out.SetReal(CurrencyValue(p));
      break;
    case MDB_FLOAT:
      if (fits(4)) return out.SetReal(static_cast<double>(ReadSingle(p)));
      break;
    case MDB_DOUBLE:
      if (fits(8)) return out.SetReal(ReadDouble(p));
      break;
    case MDB_DATETIME:
      if (fits(8)) {
        const double days = ReadDouble(p);
        QByteArray text = AccessDateText(days);
        if (text.isEmpty()) return out.SetReal(days);  // no calendar date: keep the number
        out.kind = AccessValue::Kind::kText;
        out.bytes = std::move(text);
        return;
      }
      break;
    case MDB_TEXT:
      out.kind = AccessValue::Kind::kText;
      out.bytes.resize(0);
      if (jet3) {
        AppendJet3Text(p, size, out.bytes);
      } else {
        AppendJet4Text(p, size, out.bytes);
      }
      return;
    case MDB_MEMO:
      if (!ReadLongValue(mdb, start, size, scratch)) break;
      out.kind = AccessValue::Kind::kText;
      out.bytes.resize(0);
      if (jet3) {
        AppendJet3Text(reinterpret_cast<const unsigned char*>(scratch.constData()), scratch.size(),
                       out.bytes);
      } else {
        AppendJet4Text(reinterpret_cast<const unsigned char*>(scratch.constData()), scratch.size(),
                       out.bytes);
      }
      return;
    case MDB_OLE:
      if (!ReadLongValue(mdb, start, size, out.bytes)) break;
      out.kind = AccessValue::Kind::kBlob;
      return;
    case MDB_BINARY:
      out.kind = AccessValue::Kind::kBlob;
      out.bytes = QByteArray(reinterpret_cast<const char*>(p), size);
      return;
    case MDB_REPID:
      if (fits(16)) {
        out.kind = AccessValue::Kind::kText;
        out.bytes = AccessGuidText(p);
        return;
      }
      break;
    case MDB_NUMERIC:
      if (fits(17)) {
        char* text = mdb_numeric_to_string(mdb, start, col->col_scale, col->col_prec);
        bool ok = false;
        const double value = QByteArray(text).toDouble(&ok);
        g_free(text);
        if (ok) return out.SetReal(value);
      }
      break;
    default:
      break;
  }
  out.SetNull();
}

AccessColumn ColumnOf(const MdbColumn* col, bool jet3) {
  AccessColumn c;
  c.name = QString::fromUtf8(col->name);
  c.type = static_cast<AccessType>(col->col_type);
  c.size = col->col_size;
  // Jet 4 stores a Text column's size in bytes of UCS-2.
  if (c.type == AccessType::kText && !jet3) c.size = (col->col_size + 1) / 2;
  c.precision = col->col_prec;
  c.scale = col->col_scale;
  c.autoNumber = col->is_long_auto != 0;
  const char* required = mdb_col_get_prop(col, "Required");
  c.required = required && g_ascii_strcasecmp(required, "yes") == 0;
  return c;
}

}  // namespace

struct AccessFile::Handle {
  MdbHandle* mdb = nullptr;
  ~Handle() {
    if (mdb) mdb_close(mdb);
  }
};

bool HasAccessSignature(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray head = file.read(20);
  return head.size() == 20 &&
         (head.mid(4, 15) == "Standard Jet DB" || head.mid(4, 15) == "Standard ACE DB");
}

AccessFile::AccessFile(std::unique_ptr<Handle> handle) : d_(std::move(handle)) {}

AccessFile::~AccessFile() = default;

std::unique_ptr<AccessFile> AccessFile::Open(const QString& path, QString* error) {
  if (!HasAccessSignature(path)) {
    *error = QStringLiteral("%1 is not a Microsoft Access database.").arg(path);
    return nullptr;
  }
  auto handle = std::make_unique<Handle>();
  handle->mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
  if (!handle->mdb || !mdb_read_catalog(handle->mdb, MDB_ANY)) {
    *error = QStringLiteral("%1 is damaged: its list of tables cannot be read.").arg(path);
    return nullptr;
  }
  return std::unique_ptr<AccessFile>(new AccessFile(std::move(handle)));
}

bool AccessFile::isJet3() const { return d_->mdb->f->jet_version == MDB_VER_JET3; }

QString AccessFile::formatName() const {
  switch (d_->mdb->f->jet_version) {
    case MDB_VER_JET3:
      return QStringLiteral("Jet 3");
    case MDB_VER_JET4:
      return QStringLiteral("Jet 4");
    case MDB_VER_ACCDB_2007:
      return QStringLiteral("ACE 12");
    case MDB_VER_ACCDB_2010:
      return QStringLiteral("ACE 14");
    case MDB_VER_ACCDB_2013:
      return QStringLiteral("ACE 15");
    case MDB_VER_ACCDB_2016:
      return QStringLiteral("ACE 16");
    default:
      return QStringLiteral("ACE 17");
  }
}

QStringList AccessFile::UserTables() const {
  QStringList names;
  MdbHandle* mdb = d_->mdb;
  for (unsigned i = 0; i < mdb->num_catalog; ++i) {
    auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
    if (entry->object_type == MDB_TABLE && mdb_is_user_table(entry))
      names.append(QString::fromUtf8(entry->object_name));
  }
  return names;
}

std::optional<AccessTableDef> AccessFile::ReadTable(const QString& name) const {
  TablePtr table = OpenTable(d_->mdb, name);
  if (!table) return std::nullopt;
  AccessTableDef def;
  def.name = name;
  def.storedRowCount = table->num_rows;
  const bool jet3 = isJet3();
  for (unsigned i = 0; i < table->num_cols; ++i)
    def.columns.push_back(ColumnOf(ColumnAt(table.get(), i), jet3));
  mdb_read_indices(table.get());  // its return value is not the list in mdbtools 1.0
  if (table->indices) {
    for (unsigned i = 0; i < table->num_idxs && i < table->indices->len; ++i) {
      auto* idx = static_cast<MdbIndex*>(g_ptr_array_index(table->indices, i));
      if (idx->index_type == 2) continue;  // the far side of a relationship
      AccessIndex index;
      index.name = QString::fromUtf8(idx->name);
      index.primaryKey = idx->index_type == 1;
      index.unique = index.primaryKey || (idx->flags & MDB_IDX_UNIQUE);
      for (unsigned k = 0; k < idx->num_keys && k < MDB_MAX_IDX_COLS; ++k) {
        for (unsigned c = 0; c < table->num_cols; ++c) {
          if (ColumnAt(table.get(), c)->col_num + 1 == idx->key_col_num[k]) {
            index.columns.push_back(static_cast<int>(c));
            index.descending.push_back(idx->key_col_order[k] == MDB_DESC);
          }
        }
      }
      if (!index.columns.empty() && index.columns.size() == idx->num_keys)
        def.indexes.push_back(std::move(index));
    }
  }
  return def;
}

bool AccessFile::ForEachRow(const QString& name, const RowHandler& onRow) const {
  MdbHandle* mdb = d_->mdb;
  TablePtr table = OpenTable(mdb, name);
  if (!table) return false;
  const unsigned columns = table->num_cols;
  if (columns == 0) return true;
  const bool jet3 = isJet3();
  std::vector<MdbField> fields(columns);
  std::vector<AccessValue> row(columns);
  QByteArray scratch;
  // The row reader of mdb_fetch_row, without its text formatting, so that every value
  // keeps its type, Null stays apart from "" and long texts are never cut.
  mdb_rewind_table(table.get());
  while (mdb_read_next_dpg(table.get())) {
    const int rows = mdb_get_int16(mdb->pg_buf, mdb->fmt->row_count_offset);
    for (int r = 0; r < rows; ++r) {
      int start = 0;
      size_t size = 0;
      if (mdb_find_row(mdb, r, &start, &size) != 0 || size == 0) continue;
      if (start & kDeletedRow) continue;
      start &= kOffsetMask;
      const int cracked = mdb_crack_row(table.get(), start, size, fields.data());
      if (cracked < 0) continue;
      for (unsigned i = 0; i < columns; ++i) {
        const MdbField& field = fields[i];
        if (field.colnum < 0 || static_cast<unsigned>(field.colnum) >= columns) continue;
        ReadCell(mdb, ColumnAt(table.get(), field.colnum), field, jet3, scratch, row[field.colnum]);
      }
      if (!onRow(row)) return true;
    }
  }
  return true;
}

}  // namespace corvane
