// Text utilities of the common library: small operations on character
// values.
//
// Owns the rewriting of a lookup statement so that its compared column is
// upshifted (`add_upper`), customer names (`set_cust_name`), case-blind
// MATCHES patterns and conditions (`ignore_case`, `ignore_case_upper`),
// text replacement (`translate`), capitalised words (`upper_first`), the
// lines of a stored address (`split_address`) and asking the shell whether
// a command exists (`which_cmd`).
//
// Never touches the database or the screen; only `which_cmd` starts a
// process. None of these operations reports an error itself.
//
// Arguments and results follow the CHAR rules: an argument is first cut to
// its declared width (given with each function), a result comes back
// without trailing blanks and cut to its width, a blank or empty text has
// length 0, and positions count from 1. A result that may be NULL is a
// std::optional (nullopt = NULL). Lengths and cuts count bytes, and a cut
// never splits a UTF-8 character.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

// `add_upper` keeps its words in a table of 100 slots of 100 bytes, and
// builds each wrapped column in a 38-byte buffer that starts as "upper(".
inline constexpr std::size_t kAddUpperWords = 100;
inline constexpr std::size_t kAddUpperWordMax = 99;
inline constexpr std::size_t kAddUpperColumnMax = 38 - 8;  // "upper(" ")" and the end

// Rewrites a lookup statement (CHAR(1024)) so that the column compared by
// each MATCHES is upshifted: the word before "matches" (in any letter
// case) becomes upper(word); when line-break markers (a backslash followed
// by n) stand between them, the word before the markers is the one
// wrapped. The words come back each followed by one blank: runs of blanks
// become one, and each marker becomes an empty word (so two blanks).
// Within the limits:
//  - a statement of more than 100 words, or with a word longer than 99
//    bytes, or whose rewritten text would not fit 1024 bytes, comes back as
//    it was given: rewriting it in part would run a different statement;
//  - a column longer than 30 bytes is not wrapped (the search on it is
//    then case-sensitive, but the statement stays the one written);
//  - "matches" with no word before it wraps nothing.
// A marker inside a word also splits it; any other backslash is kept.
std::string add_upper(std::string_view lv_sql);

// The name of a customer or contact (each argument CHAR(30), result
// CHAR(60)): the company when there is one, else the name followed by ", "
// and the first name, or whichever of the two there is.
std::string set_cust_name(std::string_view an_name, std::string_view an_first_name, std::string_view an_company);

// A MATCHES pattern (CHAR(200)) for `lv_str` (CHAR(200)) in any letter
// case: each character c becomes [Cc] ("*" stays "*"), a "*" follows, and
// one leads when `lv_wild` is 2: ab gives [Aa][Bb]* or *[Aa][Bb]*. An
// empty text comes back empty. The characters that the pattern language
// would read as part of a set ([ ] ^ \) are written escaped instead of in
// brackets. A pattern that would not fit 200 bytes keeps as many whole
// characters as fit before its final "*", so it is never left malformed;
// it then matches every text that starts with those characters.
std::string ignore_case(std::string_view lv_str, int lv_wild);

// " and " followed by the condition that query-by-example input builds for
// the criteria `lv_str` + "*" in a CHAR(20) field over the column
// upper(table.column): for "ab", "t", "c" that is
// " and upper(t.c) matches 'ab*'". Arguments CHAR(300), CHAR(80), CHAR(80);
// the criteria are not upshifted. An empty `lv_str` gives "" (no condition);
// an empty table gives upper(column). NULL when the criteria are not valid
// for the field, or when the condition would not fit the 300-byte result
// (a cut condition would not be SQL).
std::optional<std::string> ignore_case_upper(std::string_view lv_str, std::string_view lv_table,
                                             std::string_view lv_column);

// Replaces every occurrence of `l_old` (CHAR(256)) in `l_in` (CHAR(512)) by
// `l_new` (CHAR(256)), both without trailing blanks; an occurrence at a
// position beyond `l_len` - 5 is not replaced but ends the text there.
// The scan resumes after the replacement, so a longer replacement is
// skipped over, and after a shorter one the characters that moved into
// place are looked at again (from position 1 at the earliest). An empty
// `l_old` replaces nothing. Result CHAR(512).
std::string translate(std::string_view l_old, std::string_view l_new, std::string_view l_in, int l_len);

// Upshifts the first character and every character after a blank (CHAR(80));
// nothing is downshifted: "mcDONALD" gives "McDONALD".
std::string upper_first(std::string_view lv_str);

// The lines of a stored address (CHAR(180)) separated by "^": seven parts
// of at most 50 bytes, NULL (nullopt) for those the text does not reach.
// An empty line between two separators is a part of length 0, not NULL.
// Text after the seventh part is not returned.
std::array<std::optional<std::string>, 7> split_address(std::string_view lv_addr);

// True when "which <command>" finds the command (CHAR(80)) on the search
// path, the name given to `which` as one shell word; false for any failure,
// a missing "which" included. The output of `which` is not captured.
bool which_cmd(std::string_view lv_cmd);
