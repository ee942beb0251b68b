// A grammar-driven random generator of the programs' dialect: random
// tables and rows (written through the layer and through each back end's
// own client library), then random statements over them. The same seed
// gives the same statements on every machine.
//
// Statements are trees (Part), so that a statement that answers wrongly
// can be made smaller: a list loses an item, an optional clause goes, an
// expression is replaced by one of its operands of the same type, and
// what is left still shows the fault (fuzz.h).
//
// What is generated is what the dialect's page documents; each family the
// layer answers alike on both back ends is on by default (Features), and a
// family still being mended can be turned on to look for its faults.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "corpus.h"

namespace lunadesk::differential {

// One node of a statement. With `sep` set the node is a list: its kids
// joined by it. Otherwise `text` is a template whose "$" are the kids in
// order (no kids: the text itself).
struct Part {
  std::string text;
  std::vector<Part> kids;
  std::string sep;
  char type = 0;          // expression type: i n c d b (boolean); 0 for syntax
  bool optional = false;  // may be left out whole
  bool dropped = false;
  int min_kids = 1;   // a list keeps at least this many
  std::string bound;  // a "?": the value bound to it, as the corpus writes one ("integer 7")
};

std::string render(const Part& p);
// The values bound to the "?" of what render(p) gives, in order, as a
// corpus line of parameters without its "? " ("" when there are none).
std::string bound_params(const Part& p);

// A generated query or statement with what checks it.
struct Case {
  enum Kind { Query, Change, Constant, Partition } kind = Query;
  Part stmt;
  std::string fetch;             // per result column: T I N D
  bool fetch_from_list = false;  // the types of the select list's items (stmt.kids[0]) instead
  bool ordered = false;          // the rows' order is part of the answer
  std::string expected;          // Constant: the documented result, as text
  // Partition: the predicate p, and the query's parts around it:
  // SELECT ... WHERE base [AND p | AND NOT p | AND p IS NULL].
  Part pred;
  std::string table;       // Change: the table whose rows are then read
  bool into_temp = false;  // Query: its rows made into a temporary table, then read from it
};

// Families of the dialect, each on or off.
struct Features {
  bool date_functions = true;    // YEAR MONTH DAY WEEKDAY MDY DATE()
  bool outer_join = true;        // FROM a, OUTER b and OUTER (b, c)
  bool first_n = true;           // SELECT FIRST n
  bool order_by_expr = true;     // ORDER BY a function call or bracket
  bool order_by_decimal = true;  // ORDER BY a decimal past 15 digits or a quotient
  bool quotients = true;         // / and AVG compared, ordered, listed
  bool insert_select = true;     // INSERT ... SELECT
  bool long_decimals = true;     // decimals past 15 digits
  bool native_rows = true;       // rows written by each back end's client
  bool temp_tables = true;       // SELECT ... INTO TEMP and reads of it
  bool dates_as_text = true;     // a DATE joined with ||, text read as a DATE
  bool parameters = true;        // numbers and text bound to a ? compared with any column
  // Every family, for a run that looks for faults.
  static Features all();
};

// The tables of one world and the records that make them.
struct World {
  struct Column {
    std::string name;
    std::string decl;  // as declared
    char type;         // i n c d
    int scale = 0;     // n
    int width = 0;     // c
    bool serial = false;
  };
  struct Table {
    std::string name;
    std::vector<Column> cols;  // the first is k, an integer key
    int rows = 0;
  };
  std::vector<Table> tables;
  std::vector<Record> setup;  // CREATE, rows through the layer and natively
};

class Grammar {
 public:
  Grammar(std::uint64_t seed, Features f);
  World world();
  // The next case over `w`.
  Case next(const World& w);

 private:
  struct Rng {
    std::uint64_t s;
    std::uint32_t next();
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint32_t>(n)); }
    bool chance(int percent) { return below(100) < percent; }
  };
  struct Scope {
    std::vector<std::pair<std::string, const World::Column*>> cols;  // qualified name, column
    bool aggregate = false;  // aggregates allowed here: then `cols` are the grouping keys
    std::vector<std::pair<std::string, const World::Column*>> all;  // grouped: every column
    std::vector<std::pair<std::string, const World::Column*>> keys;
  };

  std::string value(const World::Column& c, bool native, char backend);
  Part expr(const Scope& s, char type, int depth);
  Part pred(const Scope& s, int depth);
  Part column(const Scope& s, char type);
  Part constant(char type, bool bare = false);
  Part param(char type);
  Part select(const World& w, Scope* scope, std::string* fetch, bool* ordered, bool allow_group);
  Case query(const World& w);
  Case partition(const World& w);
  Case change(const World& w);
  Case constant_case();

  Rng g_;
  Features f_;
  int worlds_ = 0;
  int tmp_ = 0;
};

}  // namespace lunadesk::differential
