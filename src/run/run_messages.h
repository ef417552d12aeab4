// The console's words for a run: the usage text, the closing banner, the
// summary and every failure, with the exit status that goes with each.
#ifndef QUELVARN_RUN_MESSAGES_H_
#define QUELVARN_RUN_MESSAGES_H_

#include <optional>
#include <string>

#include "common/io.h"
#include "platform/console.h"
#include "run/options.h"
#include "run/pipeline.h"

namespace quelvarn {

enum exit_status { kSuccess = 0, kFailure = 1, kUsage = 2 };

/// The text for a wrong number of arguments.
void usage(console& con);

/// An option that cannot be used: its message, then where the usage is
/// explained; kUsage.
int option_error(console& con, const std::string& message);

/// The message between empty lines, then the banner; kFailure. The
/// system's cause, when it gave one, goes to standard error as
/// "quelvarn: PATH: CAUSE".
int fail(console& con, const std::string& message, const std::string& path = {},
         const std::optional<std::string>& cause = std::nullopt);

/// The input could not be opened: " not exits" when it is not there.
int input_not_opened(console& con, const std::string& path, const read_error& e);

/// What the user is told of a run that reached the input's content: the
/// summary, or the failure; the exit status.
int outcome(console& con, const options& opts, const run_result& r);

}  // namespace quelvarn

#endif  // QUELVARN_RUN_MESSAGES_H_
