// The screen runtime as the programs and the common library use it: one
// include for everything in namespace rt::ui.
#pragma once

#include "screen/construct.h"
#include "screen/dialog.h"
#include "screen/field_input.h"
#include "screen/form.h"
#include "screen/help.h"
#include "screen/keys.h"
#include "screen/lines.h"
#include "screen/prompt.h"
#include "screen/ring_menu.h"
#include "screen/screen.h"
#include "screen/screen_array.h"
#include "screen/screen_form.h"
