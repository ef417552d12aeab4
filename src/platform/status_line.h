// One line of status (a download's progress) drawn in place on standard
// error's terminal, and the console's lines, which never mix with it.
#ifndef QUELVARN_STATUS_LINE_H_
#define QUELVARN_STATUS_LINE_H_

#include <string_view>

#include "platform/platform.h"

namespace quelvarn {

/// Draws the status line in place of the one drawn before; an empty text
/// erases it. Only for a terminal: the caller checks is_terminal().
void show_status(std::string_view text);

/// write_line(), after erasing the status line if one is shown.
bool write_line_below_status(standard_stream to, std::string_view line);

}  // namespace quelvarn

#endif  // QUELVARN_STATUS_LINE_H_
