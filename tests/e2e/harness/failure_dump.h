// The terminals open right now, so that a failed googletest assertion can
// show each one's screen. Outside a googletest run it only keeps the list.
#pragma once

namespace e2e {
class Terminal;
}

namespace e2e::detail {

void register_terminal(const Terminal* t);
void unregister_terminal(const Terminal* t);

}  // namespace e2e::detail
