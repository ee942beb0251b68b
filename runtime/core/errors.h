// Every error number of the system, and the system's own text for it, each
// defined once.
//
// The numbers are those that operators and programs of this family know:
// the SQL layer sets them in rt::status, the screen shows them on the error
// line, the runtime's error report names them. Each back end turns its own
// codes into these in one function of its own (sql/sqlite_errors.cpp,
// sql/pg_errors.cpp). Owns nothing but the numbers and texts: no state.
#pragma once

#include <string_view>

namespace rt::err {

// The SQL layer's status codes and errors.
inline constexpr int kNotFound = 100;
inline constexpr int kSyntax = -201;
inline constexpr int kBadCharacter = -202;  // text that is not well-formed UTF-8
inline constexpr int kNoTable = -206;
inline constexpr int kInterrupted = -213;
inline constexpr int kNoColumn = -217;
inline constexpr int kColumnCount = -236;
inline constexpr int kDuplicate = -239;
inline constexpr int kHostVariables = -254;  // too many or too few parameters
inline constexpr int kNotInTransaction = -255;
inline constexpr int kNotOneRow = -284;
inline constexpr int kNotGrouped = -294;   // neither grouped nor aggregated; an aggregate where none may be
inline constexpr int kAmbiguous = -324;    // a column name more than one table of the query has
inline constexpr int kColumnTwice = -328;  // a column named twice in CREATE TABLE
inline constexpr int kTableExists = -310;
inline constexpr int kIndexExists = -316;
inline constexpr int kNoDatabase = -329;
inline constexpr int kNullNotAllowed = -391;
inline constexpr int kNoCursor = -400;      // fetch on a cursor that is not open
inline constexpr int kNotAvailable = -404;  // statement or cursor not prepared/declared, wrong use
inline constexpr int kCheckFailed = -530;
inline constexpr int kInTransaction = -535;
inline constexpr int kNoFunction = -674;
inline constexpr int kForeignKey = -691;
inline constexpr int kConnect = -908;
inline constexpr int kLocked = -154;  // lock wait ran out
// The user may read the database but not change it (a file without write
// permission, a role granted SELECT only).
inline constexpr int kReadOnly = -389;
inline constexpr int kConnectionBroken = -25582;
inline constexpr int kDiskFull = -131;  // the disk that holds the database is full
inline constexpr int kDamaged = -172;   // the database file (or the server's data) is damaged
// Anything no rule of a back end knows: still negative, the back end's
// text says what it was.
inline constexpr int kUnknown = -9999;

// Values: conversions and exact arithmetic (in the program and in SQL).
inline constexpr int kDivideByZero = -1202;
inline constexpr int kCharToNumber = -1213;
inline constexpr int kIntegerRange = -1215;
inline constexpr int kDateConversion = -1218;
inline constexpr int kDecimalRange = -1226;
inline constexpr int kStringTooLong = -1279;

// Forms and input.
inline constexpr int kNotIncluded = -1301;
inline constexpr int kInField = -1304;
inline constexpr int kRequired = -1305;
inline constexpr int kArrayFull = -1307;
inline constexpr int kNoMoreRows = -1309;

// A program's own mistake found by the runtime (a window or form name that
// does not exist, a row outside an array): the report's text says which.
inline constexpr int kProgram = -1;

// The system's own text for `number`; "" for the numbers whose text comes
// with the error (the back end's message, the program's mistake).
constexpr std::string_view text(int number) {
  switch (number) {
    case kConnectionBroken: return "The connection to the database server was lost: it stopped or cannot be reached.";
    case kDiskFull: return "The disk that holds the database is full.";
    case kDamaged: return "The database is damaged or its disk cannot be read; see lunadesk-db(1).";
    case kDivideByZero: return "An attempt was made to divide by zero.";
    case kReadOnly: return "This user may only read the database.";
    case kDecimalRange: return "Decimal or money value exceeds maximum precision.";
    case kNotIncluded: return "This value is not among the valid possibilities.";
    case kInField: return "Error in field.";
    case kRequired: return "This field requires an entered value.";
    case kArrayFull: return "Cannot insert another row - the input array is full.";
    case kNoMoreRows: return "There are no more rows in the direction you are going.";
    default: return {};
  }
}

// Errors of the database's surroundings rather than of a statement: a
// save they refuse keeps the operator's typing (the SQL layer's
// ContinueOnLock scope lets them through), and a program they stop shows
// the system's text for them, the back end's own words going to the error
// log.
constexpr bool surroundings(int number) {
  return number == kConnectionBroken || number == kDiskFull || number == kDamaged;
}

}  // namespace rt::err
