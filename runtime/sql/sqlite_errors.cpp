// SQLite's result codes to the system's error numbers. See sqlite_errors.h.
#include "sql/sqlite_errors.h"

#include <sqlite3.h>

namespace rt::sql {
namespace {

bool has(std::string_view s, std::string_view part) { return s.find(part) != std::string_view::npos; }
bool starts(std::string_view s, std::string_view part) { return s.substr(0, part.size()) == part; }

}  // namespace

int sqlite_error_number(int code, std::string_view msg, StmtKind kind) {
  switch (code) {
    case SQLITE_CONSTRAINT_UNIQUE:
    case SQLITE_CONSTRAINT_PRIMARYKEY: return err::kDuplicate;
    case SQLITE_CONSTRAINT_NOTNULL: return err::kNullNotAllowed;
    case SQLITE_CONSTRAINT_FOREIGNKEY: return err::kForeignKey;
    case SQLITE_CONSTRAINT_CHECK:
      // The layer's own column checks are named for what they refuse.
      if (has(msg, "char_len_")) return err::kStringTooLong;
      if (has(msg, "num_type_")) return err::kCharToNumber;
      if (has(msg, "int_range_")) return err::kIntegerRange;
      if (has(msg, "dec_range_")) return err::kDecimalRange;
      return err::kCheckFailed;
    case SQLITE_MISMATCH: return err::kCharToNumber;
    case SQLITE_INTERRUPT: return err::kInterrupted;
    case SQLITE_NOTADB: return err::kNoDatabase;
    case SQLITE_CANTOPEN: return err::kNoDatabase;
    default: break;
  }
  const int primary = code & 0xff;
  if (primary == SQLITE_FULL) return err::kDiskFull;
  if (primary == SQLITE_CORRUPT || primary == SQLITE_IOERR) return err::kDamaged;
  if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) return err::kLocked;
  if (primary == SQLITE_READONLY) return err::kReadOnly;
  if (primary == SQLITE_CONSTRAINT) return err::kCheckFailed;
  if (primary == SQLITE_ERROR) {
    // The exact decimal functions' own reports (sqlite_functions.cpp).
    if (has(msg, "exceeds maximum precision") || has(msg, "numeric field overflow")) return err::kDecimalRange;
    if (has(msg, "divide by zero")) return err::kDivideByZero;
    if (has(msg, "more than one row returned by a subquery")) return err::kNotOneRow;
    if (starts(msg, "no such table") || has(msg, "no such table")) return err::kNoTable;
    if (starts(msg, "no such column") || has(msg, "no such column")) return err::kNoColumn;
    if (has(msg, "ambiguous column name")) return err::kAmbiguous;
    if (has(msg, "misuse of aggregate") || has(msg, "neither grouped nor aggregated")) return err::kNotGrouped;
    if (has(msg, "duplicate column name")) return err::kColumnTwice;
    if (has(msg, "syntax error") || has(msg, "incomplete input") || has(msg, "unrecognized token")) return err::kSyntax;
    if (has(msg, "already exists")) {
      if (starts(msg, "index")) return err::kIndexExists;
      return kind == StmtKind::CreateIndex ? err::kIndexExists : err::kTableExists;
    }
    if (has(msg, "values were supplied") || has(msg, "values for") || has(msg, "columns but")) return err::kColumnCount;
    if (starts(msg, "no such function") || has(msg, "wrong number of arguments")) return err::kNoFunction;
    if (has(msg, "cannot start a transaction within a transaction")) return err::kInTransaction;
    if (has(msg, "no transaction is active") || has(msg, "no such savepoint")) return err::kNotInTransaction;
    if (has(msg, "no such index")) return err::kNoTable;
    if (has(msg, "division by zero")) return err::kDivideByZero;
    if (has(msg, "date field value out of range")) return err::kDateConversion;
  }
  return err::kUnknown;
}

}  // namespace rt::sql
