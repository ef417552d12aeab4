// quelvarn: converts the Minor Planet Center's orbit files (MPCORB, its
// headerless minor-planet files, the comet file) into the minor-body
// catalogue (ssystem_minor.ini) that Stellarium reads. This file is the
// command line: the options, the console's messages and the exit status.

#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "common/version.h"
#include "io/input_stream.h"
#include "net/url_input.h"
#include "platform/console.h"
#include "platform/last_words.h"
#include "platform/platform.h"
#include "run/file_target.h"
#include "run/options.h"
#include "run/pipeline.h"
#include "run/run_messages.h"

namespace quelvarn {
namespace {

// A URL's password is never shown: the messages name INPUT without it.
options as_shown(const options& opts) {
  options shown = opts;
  if (is_url(opts.paths[0])) shown.paths[0] = shown_url(opts.paths[0]);
  return shown;
}

int run(const options& opts) {
  const options shown = as_shown(opts);
  const std::string& in_path = shown.paths[0];
  const std::string& out_path = opts.paths[1];
  // The catalogue must never be mixed with the messages: when it goes to
  // standard output they go to standard error, or nowhere if that is the
  // same stream.
  bool to_standard_output = names_stream(out_path, standard_stream::output);
  console con = !to_standard_output                              ? console(standard_stream::output)
                : names_stream(out_path, standard_stream::error) ? console::silent()
                                                                 : console(standard_stream::error);
  prepare_last_words(con.stream(), in_path.c_str(), " cannot be read");
  input_file in;
  std::function<void(bool)> finish_download;
  try {
    // INPUT given as a URL (url_input.h).
    if (is_url(opts.paths[0])) {
      url_input opened = open_url(opts.paths[0], opts.cache_dir, con);
      in = std::move(opened.file);
      finish_download = std::move(opened.finish);
    } else {
      in = open_input(in_path);
    }
  } catch (const read_error& e) {
    return input_not_opened(con, in_path, e);
  }
  file_target target(out_path, in.identity, to_standard_output, con.stream());
  run_settings settings{opts.update, opts.select, opts.layout};
  run_result result = run_conversion(settings, std::move(in.source), target, con);
  if (finish_download) {
    bool read_whole = result.failure != run_failure::input_bad && result.failure != run_failure::input_unreadable;
    finish_download(read_whole && result.counts.converted > 0);
  }
  return outcome(con, shown, result);
}

// Printing is all --help and --version do: a text that could not be printed
// is a failure.
int print(console& con, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) con.say(line);
  return con.failed() ? kFailure : kSuccess;
}

int command_line(int argc, char** argv) {
  std::vector<std::string> args = start_process(argc, argv);
  console con(standard_stream::output);
  options opts;
  try {
    opts = parse_options(std::vector<std::string_view>(args.begin(), args.end()));
  } catch (const usage_error& e) {
    return option_error(con, e.what());
  }
  if (opts.help) return print(con, help_text());
  if (opts.version) {
    return print(con, {std::string("quelvarn ") + kVersion + " (gzip: " + gzip_decoder_name() + ")"});
  }
  if (opts.paths.size() != 2) {
    usage(con);
    return kUsage;
  }
  if (!has_password(opts.paths[0])) prepare_last_words(opts.paths[0].c_str(), " cannot be read");
  return run(opts);
}

}  // namespace
}  // namespace quelvarn

int main(int argc, char** argv) {
  using namespace quelvarn;
  std::set_terminate(say_last_words);
  // Until the arguments are taken in properly (which needs memory), the
  // input's name as the system handed it over is what a failure shows.
  if (argc == 3 && !has_password(argv[1])) prepare_last_words(argv[1], " cannot be read");
  try {
    return command_line(argc, argv);
  } catch (...) {
    // Not even a message could be built: the words made ready still can be.
    say_last_words();
  }
}
