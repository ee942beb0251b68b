// The salesman name program: its form and its module's operations.
#pragma once

#include "screen/form.h"

extern const rt::ui::FormDef kRepnamedtForm;

void salesman_maint();
void find();
void declare_cursor(const std::string& lv_sql);
bool fetch_data(int lv_dir);
void display_data();
void add();
void upd();
bool input_data(bool lv_upd);
// False when a lock held by another program kept the row from being
// stored (the operator was told).
bool insert_new_data();
