// The translator's one class, shared by the files that make it up. Each
// file owns one kind of decision and says so at its top:
//   translate.cpp        the statement's tokens: what kind of statement it
//                        is, constants, placeholders, MATCHES, TODAY, NVL,
//                        the order of nulls, checked divisors, FOR UPDATE
//   translate_ddl.cpp    CREATE TABLE and INDEX, INTO TEMP, LOCK TABLE,
//                        UPDATE STATISTICS, and the INSERT rewrites that
//                        need the table (every column given, serials)
//   translate_expr.cpp   the typed expression reader: precedence, the type
//                        of each operation, and the back-end rewrites made
//                        as each operation is read (exact decimals, dates)
//   translate_types.cpp  the statement walker (select lists, clauses,
//                        grouping, SET, VALUES)
//   translate_meet.cpp   the rules where two operands meet or a value is
//                        stored (dates, CHAR blanks, numbers and text,
//                        placeholders, stores, text too long)
//   translate_outer.cpp  FROM a, OUTER b made into LEFT JOIN ... ON
// Only these files include this header; the public face is translate.h.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "sql/pattern.h"
#include "sql/tokenize.h"
#include "sql/translate.h"

namespace rt::sql::dialect {

// ASCII case of words (keywords and names of the dialect are ASCII).
std::string lower(std::string_view s);
std::string upper(std::string_view s);
// A text constant read as a date: in the DBDATE form (a 2- or 4-digit
// year, digits alone as well) or as ISO yyyy-mm-dd. The ISO text, or
// nullopt when it is no date.
std::optional<std::string> date_constant(std::string_view s, const DateFormat& f);
// Significant digits of a number constant as written (leading zeros and
// the zeros ending a fraction do not count).
int constant_digits(std::string_view n);
bool is_integer_text(std::string_view v);

// The statement is tokenized once; `out_` holds one output text per token,
// initially the token's own text, and each rewrite replaces or empties
// entries. Joining `out_` gives the back end's statement, with the blanks of
// the original kept wherever nothing was rewritten.
class Translator {
 public:
  Translator(std::string_view text, Backend target, SchemaLookup* schema, const TranslateOptions& opt)
      : src_(text), target_(target), schema_(schema), opt_(opt) {}

  Translation run();

 private:
  // An expression as the reader saw it: its first and last significant
  // token, its type, and whether it is a lone text constant or placeholder.
  struct Node {
    size_t first = 0, last = 0;
    ColType type;
    bool string_const = false;
    bool param = false;
    // A sum, difference or product of decimals, which keeps the places
    // that fit 38 digits; on PostgreSQL still exact, unless `fitted`.
    bool to_fit = false;
    bool fitted = false;
  };

  struct TableRef {
    std::string name, alias;
    const TableInfo* info = nullptr;
    size_t at = 0;  // sig index of its name
  };

  const Token& tok(size_t i) const { return toks_[sig_[i]]; }
  bool is(size_t i, std::string_view kw) const { return i < sig_.size() && word_is(tok(i), kw); }
  bool punct(size_t i, std::string_view p) const {
    return i < sig_.size() && tok(i).kind == Tok::Punct && tok(i).text == p;
  }
  std::string& o(size_t i) { return out_[sig_[i]]; }
  bool lite() const { return target_ == Backend::Sqlite; }
  bool at_end(size_t i, size_t end) const { return i >= end; }
  bool is_pattern_constant(size_t i) const { return i > 0 && is(i - 1, "MATCHES") && !(i > 1 && punct(i - 2, ".")); }
  static ColType int_t() { return {ColType::Int, 0, 0}; }
  static ColType dec_t(int p, int s) { return {ColType::Decimal, p, s}; }
  static bool is_dec(const ColType& t) { return t.kind == ColType::Decimal; }
  static bool is_text_value(const Node& n) {
    return !n.string_const && !n.param &&
           (n.type.kind == ColType::Char || n.type.kind == ColType::Varchar || n.type.kind == ColType::Text);
  }
  static bool is_number(const ColType& t) {
    return t.kind == ColType::Int || t.kind == ColType::Decimal || t.kind == ColType::Float;
  }

  // translate.cpp: the tokens
  Translation fail(std::string why);
  void set_whole(std::string text);
  void erase(size_t from, size_t to);
  size_t close_of(size_t i) const;
  std::string name_at(size_t i) const;
  void classify();
  void rewrite_tokens();
  bool in_dialect(size_t i);
  void matches_at(size_t i);
  void fold_operand(size_t op);
  void nulls_first();
  void order_items(size_t from, int depth);
  void checked_divisors();
  void drop_for_update();
  void first_rows();

  // translate_ddl.cpp
  void into_temp();
  void lock_table();
  void update_statistics();
  void column_type(size_t from, size_t to);
  void create_table();
  void element(size_t from, size_t to);
  void own_check_name(size_t check, const std::string& name);
  void create_index();
  void values_for_every_column();
  void insert_serial();
  void serial_from_query(size_t select, int position, const std::string& serial_col);

  // translate_expr.cpp
  ColType arith_type(const ColType& a, const ColType& b, char op) const;
  bool primary(size_t& i, size_t end, Node* n);
  void one_value(size_t open, size_t close, const Node& item);
  bool function(size_t& i, size_t end, Node* n);
  bool case_expr(size_t& i, size_t end, Node* n);
  void date_part(const std::string& name, const Node& arg, size_t call, size_t close);
  std::string text_of(const Node& n) const;
  int infix_power(size_t i, size_t end) const;
  bool expr(size_t& i, size_t end, int min_power, Node* n);
  bool date_arith(Node left, Node right, char op, Node* n);
  std::optional<int> int_constant(const Node& a) const;
  bool predicate(size_t& i, size_t end, const Node& left, Node* n);
  void show_places(const Node& n);
  void fit_product(const Node& left, const Node& right, Node* n);
  void outer_aggregate(size_t call, size_t close);

  // translate_types.cpp
  bool clause_word(size_t i) const;
  void collect_tables();
  static ColType type_in(const TableInfo* info, const std::string& col);
  const TableRef* table_named(const std::string& q) const;
  ColType column_ref(const std::string& qualifier, const std::string& col) const;
  size_t skip_clause(size_t i, size_t end) const;
  void expr_list(size_t& i, size_t end, const std::vector<Node>* order_of = nullptr, bool positions = false,
                 std::vector<Node>* read = nullptr);
  void ungrouped(const std::vector<Node>& items, const std::vector<Node>& group, const Node& having, bool grouped);
  void select_at(size_t at, size_t end, std::vector<ColType>* types, std::vector<std::string>* names,
                 std::vector<Node>* items = nullptr);
  void analyze();
  void update_sets(size_t end);
  void chosen_first(const Node& cond);
  void insert_values(size_t end);

  // translate_meet.cpp
  void wrap(const Node& n, const std::string& before, const std::string& after);
  void meets_date(const Node& n, bool stored);
  std::string dbdate_text() const;
  void date_as_text(const Node& n);
  void united(const std::vector<Node>& a, std::vector<ColType>* types, const std::vector<Node>& b,
              std::vector<ColType>* b_types);
  void stored_into(const ColType& col, const Node& v);
  std::optional<std::string> constant_text(size_t& k, size_t end) const;
  void too_long(const ColType& col, const Node& v);
  void wrap_once(const Node& n, const std::string& before, const std::string& after);
  void text_rule(const Node& a, const Node& b, bool b_is_query = false);
  void trim_constant(const Node& n);
  void number_meets_text(const Node& num, const Node& text);
  void compared(const Node& a, const Node& b);
  void param_compared(const Node& p, const Node& other);

  // translate_outer.cpp
  void outer_joins();
  bool ends_clause(size_t k, int d, bool from_list) const;
  void outer_join_at(size_t from);

  std::string_view src_;
  Backend target_;
  SchemaLookup* schema_;
  const TranslateOptions& opt_;
  std::vector<Token> toks_;
  std::vector<std::string> out_;
  std::vector<size_t> sig_;  // indexes into toks_ of the significant tokens
  std::vector<int> depth_;   // parenthesis depth of each significant token
  std::string prefix_, suffix_;
  Translation r_;
  bool next_param_is_pattern_ = false;  // the placeholder after MATCHES
  Fold pattern_fold_ = Fold::None;      // how the operand before it was folded
  std::map<size_t, size_t> param_at_;   // sig index of a placeholder -> its number
  std::vector<TableRef> tables_;
  std::set<size_t> wrapped_;                       // operands given their comparison rule already
  std::map<size_t, std::vector<Node>> values_of_;  // a CASE's or NVL's values, by its first token
};

}  // namespace rt::sql::dialect
