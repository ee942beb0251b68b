// The differential corpus: cases of the programs' dialect that run on the
// embedded back end and on PostgreSQL and must give the same answer.
//
// A corpus file is a list of records separated by blank lines; "#" starts
// a comment line. Each file runs on a fresh database of each back end.
//
//   group NAME              the class the following records belong to
//   dbdate VALUE|default    DBDATE for what follows (dates typed in criteria,
//                           parameters and constants)
//   setup                   one statement (may span lines) that must succeed
//                           on both back ends
//   statement               one statement; its answer is the status, and for
//                           row changes the rows touched and the serial
//   statements              one statement per line
//   query TYPES [ordered]   one SELECT; TYPES are the variables its columns
//                           are fetched into: letters T (CHAR(255)), I
//                           (INTEGER), S (SMALLINT), N (DECIMAL(32,10)), D
//                           (DATE), or a comma list of type names
//                           ("char(5),decimal(16,2)"). Rows are compared
//                           sorted unless "ordered" is given.
//   queries TYPES [ordered] one SELECT per line
//   native [sqlite|pg]      statements run straight through the back end's
//                           own client library, one per line, as another
//                           tool of the suite writes rows
//   generate NAME SEED N    N cases made by a seeded generator (generate.h)
//
// A statement or query may end with a line of parameters:
//   ? char(10) 'ab  ' | integer 5 | decimal(8,2) 1.50 | date 12/31/2026 | integer null
// In the text, {{COLUMN TYPE CRITERIA}} stands for the condition that the
// query-by-example builder makes of CRITERIA typed into a field of TYPE
// over COLUMN ("{{t.c char(10) ab*|x}}").
//
// Known differences, by the statement's text (blanks collapsed):
//   pending OWNER TEXT      a difference another piece of work is mending:
//                           reported, not failed
//   decided TEXT ## REASON  a difference that stays, with the reason
#pragma once

#include <map>
#include <string>
#include <vector>

#include "values/value.h"

namespace lunadesk::differential {

enum class RecordKind { Setup, Statement, Query, Native, DbDate };

struct Param {
  rt::Type type;
  bool null = false;
  std::string text;
};

struct Record {
  RecordKind kind = RecordKind::Statement;
  std::string file;
  int line = 0;
  std::string group;
  std::string text;        // the dialect text; DbDate: the DBDATE value ("" default)
  std::string native_for;  // Native: "" both, "sqlite" or "pg"
  std::vector<rt::Type> columns;
  bool ordered = false;
  std::vector<Param> params;
  // A generated change into a table that held this many serials: a serial
  // it gives above them is answered as such, not by its number (a failed
  // statement before it may have left numbers unused on one back end).
  long serials_held = -1;
};

struct Known {
  bool pending = false;  // else decided
  std::string owner;     // pending: who mends it
  std::string reason;    // decided: why it stays
  int line = 0;
  bool seen = false;  // a record with this text differed
};

struct Corpus {
  std::vector<Record> records;
  std::map<std::string, Known> known;  // by collapsed text
  std::vector<std::string> errors;     // the file's own mistakes
};

Corpus read_corpus(const std::string& path);

// Blanks and line breaks collapsed to one blank, none at the ends.
std::string collapse(const std::string& text);

// Parses "char(10)", "decimal(8,2)", "integer", ...; false when unknown.
bool parse_type(const std::string& name, rt::Type* out);
// Parses a line of parameters without its "? ":
// "char(10) 'ab  ' | integer 5 | date null".
bool parse_params(const std::string& line, std::vector<Param>* out);

}  // namespace lunadesk::differential
