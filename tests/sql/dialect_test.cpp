// The dialect's families that a back end on its own would answer apart:
// the outer join, a query used as one value, the order of decimals, and
// the statements both refuse with one number. One table of cases, each
// run on both back ends against the answer the manual page gives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sql_fixture.h"

namespace rt::sql {
namespace {

class DialectSql : public Sql {};

struct Answer {
  const char* text;
  std::vector<std::string> rows;  // the first column, in order
  int status = 0;                 // when not 0: the error, and no rows
};

TEST_P(DialectSql, FamiliesAnswerAsThePageSays) {
  ok("create table oa (k integer, c char(4), d decimal(30,6))");
  ok("create table ob (k integer, v integer, w char(4))");
  ok("create table oc (v integer, n integer)");
  ok("insert into oa values (1, 'x', 12345678901234567.5)");
  ok("insert into oa values (2, 'y', 3)");
  ok("insert into oa values (3, 'x', -0.25)");
  ok("insert into ob values (1, 10, 'p')");
  ok("insert into ob values (1, 11, 'q')");
  ok("insert into ob values (3, 30, 'p')");
  ok("insert into oc values (10, 100)");
  ok("insert into oc values (30, 300)");
  const Answer cases[] = {
      // Every row of oa, with ob's rows that meet the conditions naming
      // ob, else nulls; a condition on oa alone filters oa.
      {"select a.k * 100 + nvl(b.v, 0) from oa a, outer ob b where a.k = b.k order by 1", {"110", "111", "200", "330"}},
      {"select a.k * 100 + nvl(b.v, 0) from oa a, outer ob b where a.k = b.k and b.w = 'p' order by 1",
       {"110", "200", "330"}},
      {"select a.k * 100 + nvl(b.v, 0) from oa a, outer ob b where a.k = b.k and a.c = 'x' order by 1",
       {"110", "111", "330"}},
      {"select count(*) from oa, outer ob where oa.k = ob.k and ob.v between 11 and 30", {"3"}},
      {"select a.k * 1000 + nvl(n, 0) from oa a, outer (ob b, oc c) where a.k = b.k and b.v = c.v order by 1",
       {"1100", "2000", "3300"}},
      {"select a.k from oa a, outer ob b, outer oc c where a.k = b.k and b.v = c.v and c.n > 200 order by 1",
       {"1", "1", "2", "3"}},
      {"select k from oa where exists (select 1 from ob, outer oc where ob.v = oc.v and ob.k = oa.k) order by k",
       {"1", "3"}},
      {"select a.k from outer ob b, oa a where a.k = b.k", {}, -201},
      // A query used as one value: a second row is -284 on both.
      {"select (select v from ob where ob.k = oa.k) from oa where k = 3", {"30"}},
      {"select (select v from ob where ob.k = oa.k) from oa where k = 2", {""}},
      {"select (select v from ob where ob.k = oa.k) from oa where k = 1", {}, -284},
      {"select k from oa where k = (select k from ob where v > 10)", {}, -284},
      // Decimals order by value, whatever their digits or places.
      {"select k from oa order by d", {"3", "2", "1"}},
      {"select k from oa order by d / 3 desc", {"1", "2", "3"}},
      {"select k, d / 3 from oa order by 2", {"3", "2", "1"}},
      {"select c from oa group by c order by avg(d)", {"y", "x"}},
  };
  for (const Answer& a : cases) {
    if (a.status != 0) {
      EXPECT_EQ(status_of(a.text), a.status) << a.text;
      continue;
    }
    EXPECT_EQ(column(a.text), a.rows) << a.text << ": " << last_error_message();
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, DialectSql, lunadesk::testing::all_backends(), lunadesk::testing::backend_name);

}  // namespace
}  // namespace rt::sql
