// Array display and array input through a 3-line screen array: scrolling,
// paging, the ends, inserting and deleting rows, the row count and the
// current row afterwards.
#include <gtest/gtest.h>

#include "core/runtime.h"
#include "test_forms.h"

namespace ui = rt::ui;
using namespace ui::key;
using screen_test::list_form;
using screen_test::start_with;

namespace {
struct Row {
  rt::Value sched{rt::char_t(5)}, code{rt::char_t(5)};
};

struct Arrays : ::testing::Test {
  ui::FakeTerminal* t = nullptr;
  std::vector<Row> rows = std::vector<Row>(8);
  ui::RowVars vars = [this](int i) {
    Row& r = rows[static_cast<std::size_t>(i - 1)];
    return std::vector<rt::Value*>{&r.sched, &r.code};
  };
  void SetUp() override {
    t = start_with(list_form());
    rt::int_flag = 0;
  }
  void TearDown() override { rt::int_flag = 0; }
  void fill(int n) {
    for (int i = 0; i < n; ++i) rows[static_cast<std::size_t>(i)].code.set_text("C" + std::to_string(i + 1));
  }
  // Screen lines 4 to 6 hold the array.
  std::string lines() const { return t->row(4) + "|" + t->row(5) + "|" + t->row(6); }
};
}  // namespace

TEST_F(Arrays, DisplayMovesScrollsAndTellsTheChosenRow) {
  fill(5);
  ui::set_count(5);
  std::vector<std::string> seen;
  t->push({kDown, kDown, kDown});
  t->when_idle([&](ui::FakeTerminal& term) {
    seen.push_back(lines());
    bool rev = term.screen().row_has_attr(5, 8, 5, ui::kReverse);  // line 6, code column
    seen.push_back(rev ? "reverse" : "plain");
    term.push(kReturn);
  });
  EXPECT_TRUE(ui::display_array("sa", vars));
  EXPECT_EQ(seen[0], "[     ][C2   ]|[     ][C3   ]|[     ][C4   ]");
  EXPECT_EQ(seen[1], "reverse");
  EXPECT_EQ(ui::arr_curr(), 4);
  EXPECT_EQ(ui::scr_line(), 3);
  EXPECT_FALSE(t->screen().row_has_attr(5, 8, 5, ui::kReverse));
}

TEST_F(Arrays, DisplayRefusesToGoPastTheEndsAndPages) {
  fill(5);
  ui::set_count(5);
  std::vector<std::string> errs;
  t->push(kUp);
  t->when_idle([&](ui::FakeTerminal& term) {
    errs.push_back(term.row(24));
    if (errs.size() == 1)
      term.push({kNextPage, kNextPage});
    else
      term.push(kEsc);
  });
  EXPECT_TRUE(ui::display_array("sa", vars));
  EXPECT_EQ(errs[0], "There are no more rows in the direction you are going.");
  EXPECT_EQ(errs[1], "There are no more rows in the direction you are going.");
  EXPECT_EQ(ui::arr_curr(), 4);
}

TEST_F(Arrays, DisplayOnKeyAndInterrupt) {
  fill(3);
  ui::set_count(3);
  int at = 0;
  ui::Events ev;
  ev.on_key.push_back({{f(6)}, [&](ui::Dialog& d) {
                         at = d.arr_curr();
                         d.exit_input();
                       }});
  t->push({kDown, f(6)});
  EXPECT_TRUE(ui::display_array("sa", vars, ev));
  EXPECT_EQ(at, 2);
  t->push(kInterrupt);
  EXPECT_FALSE(ui::display_array("sa", vars, ev));
  EXPECT_EQ(rt::int_flag, 1);
}

TEST_F(Arrays, InputTypesIntoTheOneEnterableColumnRowByRow) {
  fill(5);
  ui::set_count(5);
  t->type("a");
  t->push(kReturn);  // the code column takes no input: on to row 2
  t->push({kDown, kDown});
  t->type("d");
  t->push(kEsc);
  ui::ArrayInputOptions opt{.max_rows = 8};
  EXPECT_TRUE(ui::input_array("sa", vars, opt));
  EXPECT_EQ(rows[0].sched.str(), "A");
  EXPECT_TRUE(rows[1].sched.is_null());
  EXPECT_EQ(rows[3].sched.str(), "D");
  EXPECT_EQ(ui::arr_count(), 5);
  EXPECT_EQ(ui::arr_curr(), 4);
  EXPECT_EQ(lines(), "[     ][C2   ]|[     ][C3   ]|[D    ][C4   ]");
}

TEST_F(Arrays, InsertAndDeleteShiftTheRows) {
  fill(3);
  ui::set_count(3);
  t->push({kDown, kInsertRow});
  t->type("new");
  t->push({kDown, kDown, kDeleteRow, kEsc});
  ui::ArrayInputOptions opt{.max_rows = 8};
  EXPECT_TRUE(ui::input_array("sa", vars, opt));
  EXPECT_EQ(ui::arr_count(), 3);
  EXPECT_EQ(rows[0].code.str(), "C1");
  EXPECT_EQ(rows[1].sched.str(), "NEW");
  EXPECT_TRUE(rows[1].code.is_null());
  EXPECT_EQ(rows[2].code.str(), "C2");  // C3 was deleted
  EXPECT_TRUE(rows[3].code.is_null());
}

TEST_F(Arrays, FullArrayRefusesInsertAndTheEndRefusesDown) {
  fill(2);
  ui::set_count(2);
  std::vector<std::string> errs;
  t->push(kInsertRow);
  t->when_idle([&](ui::FakeTerminal& term) {
    errs.push_back(term.row(24));
    if (errs.size() == 1)
      term.push({kDown, kDown});
    else
      term.push(kEsc);
  });
  ui::ArrayInputOptions opt{.max_rows = 2};
  EXPECT_TRUE(ui::input_array("sa", vars, opt));
  EXPECT_EQ(errs[0], "Cannot insert another row - the input array is full.");
  EXPECT_EQ(errs[1], "There are no more rows in the direction you are going.");
}

TEST_F(Arrays, ReturnAtTheEndAddsARowThatGoesAgainWhenLeftBlank) {
  fill(1);
  ui::set_count(1);
  t->push({kReturn, kUp, kReturn});
  t->type("x");
  t->push(kEsc);
  ui::ArrayInputOptions opt{.max_rows = 8};
  EXPECT_TRUE(ui::input_array("sa", vars, opt));
  EXPECT_EQ(ui::arr_count(), 2);
  EXPECT_EQ(rows[1].sched.str(), "X");

  ui::set_count(1);
  t->push({kReturn, kEsc});
  EXPECT_TRUE(ui::input_array("sa", vars, opt));
  EXPECT_EQ(ui::arr_count(), 1);  // the blank row added was never typed into
}

TEST_F(Arrays, InterruptLeavesTheCountAsItWas) {
  fill(2);
  ui::set_count(2);
  t->push({kInsertRow, kInterrupt});
  ui::ArrayInputOptions opt{.max_rows = 8};
  EXPECT_FALSE(ui::input_array("sa", vars, opt));
  EXPECT_EQ(rt::int_flag, 1);
  EXPECT_EQ(ui::arr_count(), 3);  // the rows as they stand: the program discards them
}

TEST_F(Arrays, ControlKeysStandInForTheFunctionKeys) {
  // Ctrl-N and Ctrl-E insert and delete as F1 and F2 do.
  fill(3);
  ui::set_count(3);
  t->push({kDown, ctrl('n')});
  t->type("new");
  t->push({kDown, kDown, ctrl('e'), kEsc});
  ui::ArrayInputOptions opt{.max_rows = 8};
  EXPECT_TRUE(ui::input_array("sa", vars, opt));
  EXPECT_EQ(ui::arr_count(), 3);
  EXPECT_EQ(rows[1].sched.str(), "NEW");
  EXPECT_EQ(rows[2].code.str(), "C2");  // C3 was deleted

  // Ctrl-G and Ctrl-K page as F3 and F4 do, in display and in input.
  fill(7);
  ui::set_count(7);
  t->push({ctrl('g'), ctrl('g'), ctrl('k'), kReturn});
  EXPECT_TRUE(ui::display_array("sa", vars));
  EXPECT_EQ(ui::arr_curr(), 4);
  ui::set_count(7);
  t->push({ctrl('g'), kEsc});
  EXPECT_TRUE(ui::input_array("sa", vars, opt));
  EXPECT_EQ(ui::arr_curr(), 4);

  // A program's own event for the control key comes first.
  int erased = 0;
  ui::Events ev;
  ev.on_key.push_back({{ctrl('e')}, [&](ui::Dialog&) { ++erased; }});
  ui::set_count(3);
  t->push({ctrl('e'), kEsc});
  EXPECT_TRUE(ui::input_array("sa", vars, opt, ev));
  EXPECT_EQ(erased, 1);
  EXPECT_EQ(ui::arr_count(), 3);
}
