// Rewrites statements of the programs' dialect into one back end's dialect.
// Never opens a connection, never runs SQL, never looks at parameter
// values: what it needs to know about tables (the columns of a table, their
// types and which one is its serial) it asks a SchemaLookup, which the back
// end answers and a test can fake.
//
// Works on tokens (tokenize.h), never on the raw text, so that a string
// constant is only ever rewritten as a constant: a "matches" or a double
// quote inside one stays as it is. Expressions are read with their types
// (the columns' types, the types of constants and of the usual functions),
// so that a constant keeps its type: a quoted text is read as a date only
// where it meets a DATE (compared with, assigned to or inserted into one);
// compared with a CHAR column, "01/02/2026" stays that text.
//
// What it rewrites:
//   "..." string constants        -> '...' (PostgreSQL: E'...' when the text
//                                     holds a backslash, so that it reads the
//                                     same whatever the server's settings)
//   a text constant meeting a DATE -> ISO yyyy-mm-dd, read in the DBDATE
//                                     form (a 2- or 4-digit year) or as ISO;
//                                     one that is no date is refused (-1218)
//   other text meeting a DATE      -> date_in(x, DBDATE): read as a date on
//                                     each row (pg_temp.date_in on PostgreSQL)
//   a DATE shown as text (||, CAST -> the DBDATE form: date_text() on SQLite,
//     AS text, UNION with text)       to_char() on PostgreSQL
//   x [NOT] MATCHES 'pat' / ?      -> SQLite: x [NOT] GLOB, with glob()
//                                     replaced by the MATCHES matcher;
//                                     PostgreSQL: x ~ / !~ regular expression
//                                     (a ? pattern is converted at bind time,
//                                     see ParamUse); upper(x)/lower(x)
//                                     MATCHES folds in the expression
//   ? placeholders                 -> ? (SQLite), $1, $2, ... (PostgreSQL)
//   TODAY                          -> the back end's current date
//   NVL(a,b)                       -> COALESCE(a,b)
//   SELECT ... INTO TEMP t [WITH NO LOG] -> CREATE TEMP TABLE t AS SELECT ...
//                                     (with the back end's storage settings,
//                                     TranslateOptions::temp_table_storage)
//   UPDATE STATISTICS [FOR TABLE t] -> ANALYZE [t]
//   CREATE [TEMP] TABLE: the dialect's types (CHAR(n), SERIAL, DECIMAL(p,s),
//     MONEY, DATE, ...) for the back end; storage clauses and WITH NO LOG
//     after the column list are dropped. On SQLite a CHAR column compares
//     without its trailing blanks (COLLATE RTRIM) and refuses a value longer
//     than its width, as PostgreSQL's char(n) does.
//   CREATE CLUSTER/DISTINCT INDEX  -> CREATE [UNIQUE] INDEX
//   INSERT of 0 (constant or ?) into a serial column -> the next serial
//   BEGIN/COMMIT/ROLLBACK WORK     -> the back end's transaction statements
// On SQLite SELECT ... FOR UPDATE loses its FOR UPDATE.
//
// Trailing blanks: string constants keep theirs, except where they meet a
// CHAR on SQLite (a CHAR never keeps any there); a CHAR compares without
// them, a VARCHAR or text value with them. Where a CHAR meets a VARCHAR the
// VARCHAR is compared without them (rtrim() on SQLite), where it meets
// text it is compared as it is (COLLATE BINARY on SQLite), as PostgreSQL's
// operators for the pair do. On PostgreSQL a CHAR column under LIKE loses
// its padding (CAST AS text), as the values stored on SQLite have none;
// SQLite's LIKE is replaced by one in which case counts (sqlite_functions.h).
//
// Dates: DATE +/- days and DATE - DATE (a text constant there is a date)
// count days on SQLite through julianday().
//
// A number meets text: a constant compared with a number must read as one
// of its kind (-1213 otherwise, on both back ends); another text value is
// read as a number on each row (dec_num() on SQLite, CAST AS numeric on
// PostgreSQL), text that is no number stopping the statement with -1213.
// A placeholder is read as the constant bound to it would be: the binder
// converts text for a number column (ParamTarget), and one that meets
// text is read as a number where TranslateOptions::number_params says a
// number is bound to it.
//
// A sum, difference or product of decimals past 38 digits keeps the
// places that fit (dec_add, dec_sub, dec_mul on SQLite; on PostgreSQL
// pg_temp.dec_fit around a product whose operands could pass 38 digits,
// and around any of them joined to text).
//
// Exact decimals on SQLite (sqlite_functions.h): where an operand is a
// DECIMAL, arithmetic (+ - * / and unary -) becomes dec_add, dec_sub,
// dec_mul, dec_div, dec_neg, and a comparison a op b becomes
// dec_cmp(a,b) op 0; a value stored into a DECIMAL(p,s) column by SET or
// VALUES is rounded to s places and checked against p (dec_store), and a
// bound one is rounded by the binder (ParamTarget). A number constant with
// more than 15 significant digits travels as text, exactly. ROUND and TRUNC
// of a decimal become dec_round and dec_trunc, MIN and MAX dec_min and
// dec_max; their result keeps the places asked for.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sql/backend_kind.h"
#include "values/date.h"

namespace rt::sql {

enum class StmtKind {
  Select,
  SelectIntoTemp,
  Insert,
  Update,
  Delete,
  CreateTable,
  CreateIndex,
  DropTable,
  DropIndex,
  UpdateStatistics,
  Begin,
  Commit,
  Rollback,
  LockTable,  // LOCK TABLE name IN SHARE|EXCLUSIVE MODE
  Other,
};

// True for statements that change the schema (caches of table facts must
// be dropped after them).
bool is_ddl(StmtKind k);

// What the translator knows of a value's type.
struct ColType {
  // Char: CHAR(n), blank-padded, its trailing blanks never count. Varchar
  // (a VARCHAR column) and Text (TEXT, and what string functions and ||
  // give) keep theirs. Compared with a Varchar a Char's blanks still do
  // not count; compared with a Text it is compared without its padding.
  enum Kind : unsigned char { Unknown, Char, Varchar, Text, Int, Decimal, Float, Date } kind = Unknown;
  int precision = 0;  // DECIMAL: 0 when not fixed
  int scale = -1;     // DECIMAL: -1 when not fixed
  int length = 0;     // CHAR, VARCHAR: the declared length, 0 when not known
  // The length of a text column is no part of its type.
  friend bool operator==(const ColType& a, const ColType& b) {
    return a.kind == b.kind && a.precision == b.precision && a.scale == b.scale;
  }
};

// Reads a declared type as either back end writes it ("DECIMAL(12,2)",
// "numeric(12,2)", "character(5)", "NUM", "date", ...).
ColType column_type(std::string_view declared);

struct TableInfo {
  std::vector<std::string> columns;  // lower case, in table order
  std::vector<ColType> types;        // one per column (may be empty: unknown)
  int serial = -1;                   // index of the serial column, -1 none
};

class SchemaLookup {
 public:
  virtual ~SchemaLookup() = default;
  // nullptr when the table is unknown. `name` is lower case.
  virtual const TableInfo* table(std::string_view name) = 0;
};

enum class ParamUse : unsigned char {
  Plain,
  // The value is a MATCHES pattern: PostgreSQL needs it as a regular
  // expression (matches_to_regex) when it is bound.
  MatchesPattern,
  // The pattern of upper(x) MATCHES ? (lower(x)): on PostgreSQL the
  // operand loses its upper() and the regular expression does the folding.
  MatchesUpshifted,
  MatchesDownshifted,
};

// Where a placeholder meets a typed column, the binder converts the value
// for it, as the same value written as a constant there would be read: a
// DATE takes a CHAR value read in the DBDATE form; a number column
// (Number, Decimal) takes a CHAR value that reads as a number of its kind
// (-1213 otherwise); a value stored into a DECIMAL(p,s) column is rounded
// to s places and must fit p digits; a number stored into a text column
// (Text) is stored as its text, with its places.
struct ParamTarget {
  enum Kind : unsigned char { None, Date, Decimal, Number, Text } kind = None;
  bool stored = false;  // assigned to the column (SET, VALUES), not compared
  bool whole = false;   // Number: an INTEGER or SMALLINT column
  // Compared with a text value: bound to a number, the placeholder is read
  // as that number would be there, the text read as a number on each row.
  // That needs other SQL, which the statement gets for the numbers bound
  // (TranslateOptions::number_params).
  bool meets_text = false;
  int precision = 0;
  int scale = -1;
};

struct TranslateOptions {
  DateFormat date_format;  // the DBDATE form of date constants
  // Written after the table name of the CREATE TEMP TABLE that an INTO
  // TEMP becomes: the back end's storage settings for such tables ("" for
  // none). The translator only places it.
  std::string temp_table_storage;
  // The placeholders (by number, from 0) bound to numbers where they meet
  // text (ParamTarget::meets_text): each is read as a number there, as a
  // number constant would be. Empty: every placeholder reads as text there.
  std::vector<bool> number_params;
};

struct Translation {
  bool ok = true;
  std::string error;   // why the text could not be translated
  int error_code = 0;  // the error number for it, 0 for a syntax error
  std::string text;    // for the back end
  StmtKind kind = StmtKind::Other;
  std::string table;                 // lower case: the table written, created, dropped or indexed
  std::string index;                 // lower case: the index a CREATE INDEX makes ("" when unnamed)
  bool temp = false;                 // creates a temporary table
  std::vector<ParamUse> params;      // one per placeholder, in order
  std::vector<ParamTarget> targets;  // one per placeholder, in order
  // A SELECT's result columns: their names (the alias, else the column's
  // name, else "") and types, as far as known.
  std::vector<std::string> result_names;
  std::vector<ColType> result_types;
  // An INSERT ... VALUES into a table with a serial: the serial stored is
  // to be read after it (on PostgreSQL the text ends in RETURNING it).
  bool returns_serial = false;
  // An INSERT ... SELECT that may take serials: PostgreSQL moves its
  // sequence past the largest serial stored before it, as for VALUES.
  bool takes_serials = false;
  // CREATE TABLE with SERIAL(n), n > 1: the column and the first serial it
  // hands out, which the back end sets once the table is made.
  std::string serial_column;
  long serial_start = 0;
  // Lower-case words of the statement outside constants (to tell whether
  // it refers to a temporary table).
  std::vector<std::string> words;
};

Translation translate(std::string_view text, Backend target, SchemaLookup* schema,
                      const TranslateOptions& options = {});

// Quotes text as an SQL string constant ('it''s').
std::string quote_literal(std::string_view s);
// The same for a back end: on PostgreSQL a text with a backslash becomes an
// escape string constant (E'a\\b'), read the same whatever the server's
// standard_conforming_strings says.
std::string quote_literal(std::string_view s, Backend target);

}  // namespace rt::sql
