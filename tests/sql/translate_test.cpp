// Golden cases for the dialect translator: one line per case, the
// programs' text in, the SQLite and the PostgreSQL text out.
#include <gtest/gtest.h>

#include "sql/translate.h"

namespace rt::sql {
namespace {

// Two tables known to the fake schema: tx_use_g has its serial last.
class FakeSchema : public SchemaLookup {
 public:
  const TableInfo* table(std::string_view name) override {
    if (name == "tx_use_g") return &tug_;
    if (name == "t") return &plain_;
    return nullptr;
  }

 private:
  TableInfo tug_{{"tu_use_g", "tu_prodtcl", "tu_description", "tu_link"}, 3};
  TableInfo plain_{{"a", "b"}, -1};
};

struct Golden {
  const char* in;
  const char* sqlite;
  const char* pg;
};

// clang-format off
const Golden kCases[] = {
  // Double-quoted constants, placeholders.
  {R"(SELECT icl_desc  FROM inv_classes WHERE icl_code=? AND icl_type="T" )",
   R"(SELECT icl_desc  FROM inv_classes WHERE icl_code=? AND icl_type='T' )",
   R"(SELECT icl_desc  FROM inv_classes WHERE icl_code=$1 AND icl_type='T' )"},
  {R"(SELECT "",   tx_table.tt_code FROM tx_table ORDER BY tt_level ASC,tt_where ASC)",
   R"(SELECT '',   tx_table.tt_code FROM tx_table ORDER BY tt_level ASC,tt_where ASC)",
   R"(SELECT '',   tx_table.tt_code FROM tx_table ORDER BY tt_level ASC NULLS FIRST,tt_where ASC NULLS FIRST)"},
  // Nulls sort first in ascending order, last in descending, on both.
  {"select a, b from t where c in (select c from u order by c) order by a desc, 2 into temp x",
   "CREATE TEMP TABLE x AS select a, b from t where c in (select c from u order by c) order by a desc, 2 ",
   "CREATE TEMP TABLE x WITH (fillfactor=50) AS select a, b from t where c in (select c from u order by c NULLS FIRST) order by a desc NULLS LAST, 2 NULLS FIRST "},
  // A divisor of zero is an error on both.
  {"select a / b, c/(d-1), e / -f.g, h / sum(x) from t",
   "select a / divisor(b), c/divisor((d-1)), e / divisor(-f.g), h / divisor(sum(x)) from t",
   "select a / b, c/(d-1), e / -f.g, h / sum(x) from t"},
  // Constants are never rewritten as text: quotes and "matches" inside stay.
  {R"(select a from t where b = 'it''s matches "q"' and c = "say ""hi""")",
   R"(select a from t where b = 'it''s matches "q"' and c = 'say "hi"')",
   R"(select a from t where b = 'it''s matches "q"' and c = 'say "hi"')"},
  // INTO TEMP.
  {R"(SELECT DISTINCT at_type_code  FROM ar_type WHERE at_oper="-"  INTO TEMP t_neg_types)",
   R"(CREATE TEMP TABLE t_neg_types AS SELECT DISTINCT at_type_code  FROM ar_type WHERE at_oper='-' )",
   R"(CREATE TEMP TABLE t_neg_types WITH (fillfactor=50) AS SELECT DISTINCT at_type_code  FROM ar_type WHERE at_oper='-' )"},
  {R"(select a from t into temp t_x with no log)",
   R"(CREATE TEMP TABLE t_x AS select a from t )",
   R"(CREATE TEMP TABLE t_x WITH (fillfactor=50) AS select a from t )"},
  // MATCHES: constants, brackets, escapes, NOT, a ? pattern.
  {R"(select a from t where b matches 'x*[a-c]?' and c not matches ?)",
   R"(select a from t where b GLOB 'x*[a-c]?' and c not GLOB ?)",
   R"(select a from t where b ~ '^x.*(?! +$)[a-c](?! +$). *$' and c  !~ $1)"},
  {R"(select * from s where s.code matches '\**' and name matches "[^a]*")",
   R"(select * from s where s.code GLOB '\**' and name GLOB '[^a]*')",
   R"(select * from s where s.code ~ '^\*.* *$' and name ~ '^(?! +$)[^a].* *$')"},
  {R"(select icl_code from inv_classes where upper(icl_code) MATCHES ? and icl_type = 'T')",
   R"(select icl_code from inv_classes where upper(icl_code) GLOB ? and icl_type = 'T')",
   R"(select icl_code from inv_classes where (icl_code) ~ $1 and icl_type = 'T')"},
  // Dates in the DBDATE form become ISO; anything else stays.
  {R"(update ar_cycle set arcy_last_date ='12/31/2026' where arcy_code =3)",
   R"(update ar_cycle set arcy_last_date ='2026-12-31' where arcy_code =3)",
   R"(update ar_cycle set arcy_last_date ='2026-12-31' where arcy_code =3)"},
  {R"(select * from t where d <= '02/30/2026' or e = '12/31/20261' or f < today)",
   R"(select * from t where d <= '02/30/2026' or e = '12/31/20261' or f < date('now','localtime'))",
   R"(select * from t where d <= '02/30/2026' or e = '12/31/20261' or f < CURRENT_DATE)"},
  // CHAR constants lose their trailing blanks where values are stored so.
  {R"(select * from t where a = 'pad   ')",
   R"(select * from t where a = 'pad')",
   R"(select * from t where a = 'pad   ')"},
  // Statistics.
  {"UPDATE STATISTICS", "ANALYZE", "ANALYZE"},
  {"update statistics medium for table t_cust_items", "ANALYZE t_cust_items", "ANALYZE t_cust_items"},
  // The schema: types, storage clauses, constraint names.
  {"create table g (c char(8), l serial not null, r decimal(16,6), m money, d date, f float, x decimal(10)) in dbs1 extent size 16",
   "create table g (c CHAR(8) COLLATE RTRIM CONSTRAINT char_len_c CHECK(length(rtrim(c,' '))<=8), l INTEGER PRIMARY KEY AUTOINCREMENT not null, r DECIMAL(16,6), m DECIMAL(16,2), d date, f REAL, x DECIMAL(10)) ",
   "create table g (c CHAR(8), l SERIAL UNIQUE not null, r NUMERIC(16,6), m NUMERIC(16,2), d date, f DOUBLE PRECISION, x NUMERIC) "},
  {"CREATE TEMP TABLE t_printer (   printer  CHAR (10),   descr  CHAR (1))",
   "CREATE TEMP TABLE t_printer (   printer  CHAR(10) COLLATE RTRIM CONSTRAINT char_len_printer CHECK(length(rtrim(printer,' '))<=10) ,   descr  CHAR(1) COLLATE RTRIM CONSTRAINT char_len_descr CHECK(length(rtrim(descr,' '))<=1) )",
   "CREATE TEMP TABLE t_printer (   printer  CHAR(10) ,   descr  CHAR(1) )"},
  {"create temp table tt (a smallint, b int) with no log",
   "create temp table tt (a SMALLINT CONSTRAINT num_type_a CHECK(typeof(a) IN ('integer','null')) CONSTRAINT int_range_a CHECK(typeof(a)<>'integer' OR a BETWEEN -32767 AND 32767), "
   "b INTEGER CONSTRAINT num_type_b CHECK(typeof(b) IN ('integer','null')) CONSTRAINT int_range_b CHECK(typeof(b)<>'integer' OR b BETWEEN -2147483647 AND 2147483647)) ",
   "create temp table tt (a SMALLINT, b INTEGER) "},
  {"create table u (a int, unique (a) constraint u_a)",
   "create table u (a INTEGER CONSTRAINT num_type_a CHECK(typeof(a) IN ('integer','null')) CONSTRAINT int_range_a CHECK(typeof(a)<>'integer' OR a BETWEEN -2147483647 AND 2147483647), CONSTRAINT u_a unique (a) )",
   "create table u (a INTEGER, CONSTRAINT u_a unique (a) )"},
  {"create distinct cluster index ti_a on t (a, b desc) in dbs",
   "create UNIQUE  index ti_a on t (a, b desc) ",
   "create UNIQUE  index ti_a on t (a NULLS FIRST, b desc NULLS LAST) "},
  // Serials: a 0 asks for the next one, as a constant or bound.
  {"INSERT INTO tx_use_g VALUES (   ?,   ?,   ?,   ?)",
   "INSERT INTO tx_use_g VALUES (   ?,   ?,   ?,   NULLIF(?,0))",
   "INSERT INTO tx_use_g VALUES (   $1,   $2,   $3,   COALESCE(NULLIF($4,0),nextval(pg_get_serial_sequence('tx_use_g','tu_link')))) RETURNING tu_link"},
  {R"(INSERT INTO tx_use_g VALUES ("A", "B", "C", 0))",
   "INSERT INTO tx_use_g VALUES ('A', 'B', 'C', NULL)",
   "INSERT INTO tx_use_g VALUES ('A', 'B', 'C', DEFAULT) RETURNING tu_link"},
  {"insert into tx_use_g (tu_link, tu_use_g) values (0, ?)",
   "insert into tx_use_g (tu_link, tu_use_g) values (NULL, ?)",
   "insert into tx_use_g (tu_link, tu_use_g) values (DEFAULT, $1) RETURNING tu_link"},
  {"insert into tx_use_g (tu_use_g) values (?)",
   "insert into tx_use_g (tu_use_g) values (?)",
   "insert into tx_use_g (tu_use_g) values ($1) RETURNING tu_link"},
  {"insert into t values (?, 0)", "insert into t values (?, 0)", "insert into t values ($1, 0)"},
  // Comments go, the rest of the text stays.
  {"select {old} nvl(a, 0) from t /* x */ -- done", "select   COALESCE(a, 0) from t    ", "select   COALESCE(a, 0) from t    "},
  // The clearing run's grouped query passes as written.
  {"SELECT t.c, SUM(t.amt) amt FROM t GROUP BY 1 HAVING SUM(amt)=0 ",
   "SELECT t.c, SUM(t.amt) amt FROM t GROUP BY 1 HAVING SUM(amt)=0 ",
   "SELECT t.c, SUM(t.amt) amt FROM t GROUP BY 1 HAVING SUM(amt)=0 "},
  {"begin work", "BEGIN IMMEDIATE", "BEGIN"},
  {"select a from t where a = 'x' for update", "select a from t where a = 'x' ", "select a from t where a = 'x' for update"},
  {"select nextval( pg_get_serial_sequence( ? , ? ));",
   "select nextval( pg_get_serial_sequence( ? , ? ))",
   "select nextval( pg_get_serial_sequence( $1 , $2 ))"},
};
// clang-format on

TEST(Translate, GoldenCases) {
  FakeSchema schema;
  for (const Golden& c : kCases) {
    const Translation lite = translate(c.in, Target::Sqlite, &schema);
    const Translation pg = translate(c.in, Target::Postgres, &schema);
    EXPECT_TRUE(lite.ok) << c.in << ": " << lite.error;
    EXPECT_TRUE(pg.ok) << c.in << ": " << pg.error;
    EXPECT_EQ(lite.text, c.sqlite) << c.in;
    EXPECT_EQ(pg.text, c.pg) << c.in;
  }
}

TEST(Translate, DateConstantsFollowDbdate) {
  TranslateOptions opt;
  opt.date_format = DateFormat::from_dbdate("DMY4.");
  EXPECT_EQ(translate("select 1 from t where d = '31.12.2026'", Target::Postgres, nullptr, opt).text,
            "select 1 from t where d = '2026-12-31'");
  // In that format the default form is just text.
  EXPECT_EQ(translate("select 1 from t where d = '12/31/2026'", Target::Postgres, nullptr, opt).text,
            "select 1 from t where d = '12/31/2026'");
}

TEST(Translate, KindsTablesAndParameters) {
  FakeSchema schema;
  Translation t = translate("select a from t where b matches ? and c = ? into temp t_x", Target::Postgres, &schema);
  EXPECT_EQ(t.kind, StmtKind::SelectIntoTemp);
  EXPECT_TRUE(t.temp);
  EXPECT_EQ(t.table, "t_x");
  ASSERT_EQ(t.params.size(), 2u);
  EXPECT_EQ(t.params[0], ParamUse::MatchesPattern);
  EXPECT_EQ(t.params[1], ParamUse::Plain);

  t = translate("INSERT INTO TX_USE_G VALUES (?, ?, ?, ?)", Target::Sqlite, &schema);
  EXPECT_EQ(t.kind, StmtKind::Insert);
  EXPECT_EQ(t.table, "tx_use_g");
  EXPECT_TRUE(t.returns_serial);
  EXPECT_FALSE(translate("insert into t values (1, 2)", Target::Sqlite, &schema).returns_serial);
  EXPECT_FALSE(translate("insert into tx_use_g select * from x", Target::Sqlite, &schema).returns_serial);

  EXPECT_EQ(translate(" CREATE INDEX ti_items ON t_cust_items ( ar_customer,ar_tran_type ) ", Target::Postgres,
                      nullptr)
                .table,
            "t_cust_items");
  EXPECT_EQ(translate("DROP TABLE t_cust_items", Target::Sqlite, nullptr).kind, StmtKind::DropTable);
  // Words outside constants tell which tables a statement reads.
  t = translate("select x from t_printer where descr = 't_other'", Target::Sqlite, nullptr);
  EXPECT_NE(std::find(t.words.begin(), t.words.end(), "t_printer"), t.words.end());
  EXPECT_EQ(std::find(t.words.begin(), t.words.end(), "t_other"), t.words.end());
}

TEST(Translate, RefusesWhatItCannotTranslate) {
  EXPECT_FALSE(translate("select 'open from t", Target::Sqlite, nullptr).ok);
  EXPECT_FALSE(translate("select a from t { never closed", Target::Sqlite, nullptr).ok);
  EXPECT_FALSE(translate("   ", Target::Postgres, nullptr).ok);
  // A pattern must be a constant or a parameter for the regular expression.
  EXPECT_FALSE(translate("select a from t where b matches c", Target::Postgres, nullptr).ok);
}

}  // namespace
}  // namespace rt::sql
