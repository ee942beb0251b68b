// PostgreSQL's SQLSTATEs to the system's error numbers. See pg_errors.h.
#include "sql/pg_errors.h"

namespace rt::sql {
namespace {

bool has(std::string_view s, std::string_view part) { return s.find(part) != std::string_view::npos; }
bool starts(std::string_view s, std::string_view part) { return s.substr(0, part.size()) == part; }

}  // namespace

int pg_error_number(std::string_view state, std::string_view msg, StmtKind kind) {
  // No state: the connection itself failed. The server shut down, or ended
  // this session, is the same for the program.
  if (state.empty() || state == "57P01" || state == "57P02" || state == "57P03" || state == "08006" || state == "08003")
    return err::kConnectionBroken;
  if (state == "53100") return err::kDiskFull;
  if (state == "XX001" || state == "XX002") return err::kDamaged;
  if (state == "23505") return err::kDuplicate;
  if (state == "42P01") return err::kNoTable;
  if (state == "42703") return err::kNoColumn;
  if (state == "42702") return err::kAmbiguous;
  if (state == "42803") return err::kNotGrouped;
  if (state == "42701") return err::kColumnTwice;
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
  // No privilege to change a table, or a session that may only read.
  if (state == "42501" || state == "25006") return err::kReadOnly;
  if (starts(state, "08")) return err::kConnect;
  if (starts(state, "28")) return err::kConnect;
  return err::kUnknown;
}

}  // namespace rt::sql
