// The command line, read into what the run needs.
#ifndef QUELVARN_OPTIONS_H_
#define QUELVARN_OPTIONS_H_

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "records/record_format.h"
#include "records/selection.h"

namespace quelvarn {

/// A command line that cannot be run; what() is the one-line message.
struct usage_error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct options {
  bool help = false;
  bool version = false;
  /// Merge into the catalogue at OUTPUT instead of replacing it.
  bool update = false;
  selection_criteria select;
  /// --layout; none given: classic, or with --update the catalogue's own.
  std::optional<section_layout> layout;
  /// Where downloads are kept (INPUT given as a URL); empty: the system's
  /// cache folder.
  std::string cache_dir;
  /// The non-option arguments, in their order; a run needs exactly two.
  std::vector<std::string> paths;
};

/// Reads the arguments after the program name. Options may stand before,
/// between or after the paths; "--" ends them; values come as "--opt VALUE"
/// or "--opt=VALUE". Throws usage_error naming the option at fault.
options parse_options(const std::vector<std::string_view>& args);

/// One line per option, for the help text.
const std::vector<std::string_view>& option_lines();

/// The lines of --help.
std::vector<std::string> help_text();

}  // namespace quelvarn

#endif  // QUELVARN_OPTIONS_H_
