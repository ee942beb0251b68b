// Back-end codes to the system's error numbers. See errors.h.
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
  if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) return err::kLocked;
  if (primary == SQLITE_CONSTRAINT) return err::kCheckFailed;
  if (primary == SQLITE_ERROR) {
    // The exact decimal functions' own reports (sqlite_functions.cpp).
    if (has(msg, "exceeds maximum precision") || has(msg, "numeric field overflow")) return err::kDecimalRange;
    if (has(msg, "divide by zero")) return err::kDivideByZero;
    if (starts(msg, "no such table") || has(msg, "no such table")) return err::kNoTable;
    if (starts(msg, "no such column") || has(msg, "no such column")) return err::kNoColumn;
    if (has(msg, "syntax error") || has(msg, "incomplete input") || has(msg, "unrecognized token"))
      return err::kSyntax;
    if (has(msg, "already exists")) {
      if (starts(msg, "index")) return err::kIndexExists;
      return kind == StmtKind::CreateIndex ? err::kIndexExists : err::kTableExists;
    }
    if (has(msg, "values were supplied") || has(msg, "values for") || has(msg, "columns but"))
      return err::kColumnCount;
    if (starts(msg, "no such function") || has(msg, "wrong number of arguments")) return err::kNoFunction;
    if (has(msg, "cannot start a transaction within a transaction")) return err::kInTransaction;
    if (has(msg, "no transaction is active") || has(msg, "no such savepoint")) return err::kNotInTransaction;
    if (has(msg, "no such index")) return err::kNoTable;
    if (has(msg, "division by zero")) return err::kDivideByZero;
  }
  return err::kUnknown;
}

int pg_error_number(std::string_view state, std::string_view msg, StmtKind kind) {
  if (state.empty()) return err::kConnectionBroken;
  if (state == "23505") return err::kDuplicate;
  if (state == "42P01") return err::kNoTable;
  if (state == "42703") return err::kNoColumn;
  if (state == "42601") {
    if (has(msg, "more expressions than target columns") || has(msg, "more target columns than expressions"))
      return err::kColumnCount;
    return err::kSyntax;
  }
  if (state == "42P07") return kind == StmtKind::CreateIndex ? err::kIndexExists : err::kTableExists;
  if (state == "21000") return err::kNotOneRow;
  if (state == "23502") return err::kNullNotAllowed;
  if (state == "23503") return err::kForeignKey;
  if (state == "23514") return err::kCheckFailed;
  if (state == "22001") return err::kStringTooLong;
  if (state == "22021") return err::kBadCharacter;
  if (state == "22P02") return err::kCharToNumber;
  if (state == "22003") {
    // "smallint out of range", "value ... out of range for type integer"
    if (has(msg, "smallint") || has(msg, "integer") || has(msg, "bigint")) return err::kIntegerRange;
    return err::kDecimalRange;
  }
  if (state == "22012") return err::kDivideByZero;
  if (state == "22007" || state == "22008") return err::kDateConversion;
  if (state == "42883") return err::kNoFunction;
  if (state == "25P01" || state == "3B001") return err::kNotInTransaction;
  if (state == "25001") return err::kInTransaction;
  if (state == "55P03" || state == "40P01" || state == "57014") {
    return state == "57014" ? err::kInterrupted : err::kLocked;
  }
  if (state == "34000") return err::kNoCursor;  // e.g. closed by a rollback
  if (state == "26000") return err::kNotAvailable;
  if (state == "3D000") return err::kNoDatabase;
  if (starts(state, "08")) return err::kConnect;
  if (starts(state, "28")) return err::kConnect;
  return err::kUnknown;
}

}  // namespace rt::sql
