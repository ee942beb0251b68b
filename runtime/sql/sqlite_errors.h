// The error numbers that operators and programs of this family know, and
// the one place where each back end's own codes become them.
//
// Each back end maps its codes in exactly one function; the back end's own
// text always travels with the number for the report.
#pragma once

#include <string_view>

#include "sql/translate.h"

namespace rt::sql {

namespace err {
inline constexpr int kNotFound = 100;
inline constexpr int kSyntax = -201;
inline constexpr int kBadCharacter = -202;  // text that is not well-formed UTF-8
inline constexpr int kNoTable = -206;
inline constexpr int kNoColumn = -217;
inline constexpr int kColumnCount = -236;
inline constexpr int kDuplicate = -239;
inline constexpr int kHostVariables = -254;  // too many or too few parameters
inline constexpr int kNotInTransaction = -255;
inline constexpr int kNotOneRow = -284;
inline constexpr int kTableExists = -310;
inline constexpr int kIndexExists = -316;
inline constexpr int kNullNotAllowed = -391;
inline constexpr int kNoCursor = -400;      // fetch on a cursor that is not open
inline constexpr int kNotAvailable = -404;  // statement or cursor not prepared/declared, wrong use
inline constexpr int kCheckFailed = -530;
inline constexpr int kInTransaction = -535;
inline constexpr int kNoFunction = -674;
inline constexpr int kForeignKey = -691;
inline constexpr int kNoDatabase = -329;
inline constexpr int kConnect = -908;
inline constexpr int kLocked = -154;  // lock wait ran out
inline constexpr int kInterrupted = -213;
inline constexpr int kDateConversion = -1218;
inline constexpr int kCharToNumber = -1213;
inline constexpr int kIntegerRange = -1215;
inline constexpr int kDecimalRange = -1226;
inline constexpr int kDivideByZero = -1202;
inline constexpr int kStringTooLong = -1279;
inline constexpr int kConnectionBroken = -25582;
// Anything no rule below knows: still negative, the back end's text says
// what it was.
inline constexpr int kUnknown = -9999;
}  // namespace err

// SQLite's extended result code and message.
int sqlite_error_number(int extended_code, std::string_view message, StmtKind kind);
// PostgreSQL's SQLSTATE (empty when the connection itself failed) and
// primary message.
int pg_error_number(std::string_view sqlstate, std::string_view message, StmtKind kind);

}  // namespace rt::sql
