// quelvarn: converts the Minor Planet Center's orbit files (MPCORB, its
// headerless minor-planet files, the comet file) into the minor-body
// catalogue (ssystem_minor.ini) that Stellarium reads. This file is the
// command line: the options, the console's messages and the exit status.

#include <exception>
#include <string>
#include <system_error>
#include <vector>

#include "console.h"
#include "file_target.h"
#include "input_stream.h"
#include "last_words.h"
#include "options.h"
#include "pipeline.h"
#include "platform.h"
#include "url_input.h"
#include "version.h"

namespace quelvarn {
namespace {

enum exit_status { kSuccess = 0, kFailure = 1, kUsage = 2 };

// " missing parameters or missing all parameters" is the wording users and
// their scripts have always seen: kept as it is on purpose.
void usage(console& con) {
  con.say("");
  con.say(" missing parameters or missing all parameters");
  con.say(" <file In> <file Out>");
  con.say(" example: quelvarn MPCORB.DAT ssystem_minor.ini");
  con.say("");
}

void banner(console& con) {
  con.say("");
  con.say(std::string(" quelvarn ") + kVersion);
  con.say("");
}

int fail(console& con, const std::string& message) {
  con.say("");
  con.say(message);
  banner(con);
  return kFailure;
}

// The console message stays as it was; the system's reason goes, on a line
// of its own, to standard error.
int fail(console& con, const std::string& message, const std::string& path, const std::optional<std::string>& cause) {
  // Silent: standard error is the catalogue itself.
  if (cause && con.stream()) console(standard_stream::error).say("quelvarn: " + path + ": " + *cause);
  return fail(con, message);
}

// A missing path and a directory are "not there" for the user; anything else
// that exists but cannot be opened is a file they cannot read.
bool names_nothing(const std::error_code& code) {
  return code == std::errc::no_such_file_or_directory || code == std::errc::not_a_directory ||
         code == std::errc::filename_too_long || code == std::errc::is_a_directory;
}

// The counts of a run, and the --body IDs it did not find.
void report(console& con, const options& opts, const run_result& r) {
  con.say("");
  con.say(" End of processing: " + decimal(r.counts.records) +
          (r.kind == input_kind::comets ? " comets." : " asteroids."));
  if (opts.select.any()) con.say(" Selected records: " + decimal(r.counts.selected));
  if (r.updated) {
    con.say(" Updated sections: " + decimal(r.updated->updated));
    con.say(" Added sections: " + decimal(r.updated->added));
  }
  if (r.counts.skipped > 0) con.say(" Skipped records: " + decimal(r.counts.skipped));
  for (const std::string& id : r.not_found) con.say(" Not found: " + id);
}

// The planetarium reads every section at start-up: past this many it takes
// many seconds to start (measured: 20,000 bodies add 1.5 to 10 s, 100,000
// about 45 s).
constexpr std::uint64_t kBodiesLoadedQuickly = 20000;

void note_on_size(console& con, const run_result& r) {
  std::uint64_t bodies = r.updated ? r.updated->sections : r.counts.selected;
  if (bodies <= kBodiesLoadedQuickly) return;
  con.say(" Note: the catalogue holds " + decimal(bodies) + " bodies; the planetarium starts slowly with more than " +
          decimal(kBodiesLoadedQuickly) + ". Choose fewer with --max-magnitude, --class, --numbered, --body, --limit" +
          " or --update --existing.");
}

// What the user is told of a run that reached the input's content.
int outcome(console& con, const options& opts, const run_result& r) {
  const std::string& in = opts.paths[0];
  const std::string& out = opts.paths[1];
  switch (r.failure) {
    case run_failure::none:
      report(con, opts, r);
      con.say("");
      con.say(" Finished");
      note_on_size(con, r);
      banner(con);
      return kSuccess;
    case run_failure::input_bad:
      return fail(con, " file " + in + " is bad");
    case run_failure::input_unreadable:
      return fail(con, " file " + in + " cannot be read", in, r.cause);
    case run_failure::comet_options:
      con.say("");
      con.say(" --numbered and --class are for minor planets; " + in + " is a comet file");
      usage(con);
      return kUsage;
    case run_failure::output_is_input:
      return fail(con, " file " + out + " is the input file");
    case run_failure::output_unreadable:
      return fail(con, " file " + out + " cannot be read", out, r.cause);
    case run_failure::output_unwritable:
      return fail(con, " file " + out + " cannot be written", out, r.cause);
    case run_failure::nothing_selected:
      report(con, opts, r);
      return fail(con, " No record was selected: file " + out + " is left as it was");
  }
  return kFailure;
}

int run(const options& opts) {
  const std::string& in_path = opts.paths[0];
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
  try {
    // INPUT given as a URL (url_input.h).
    in = is_url(in_path) ? open_url(in_path, opts.cache_dir, con) : open_input(in_path);
  } catch (const read_error& e) {
    // " not exits" is the wording users and their scripts have always seen:
    // kept as it is on purpose.
    return fail(con, " file " + in_path + (names_nothing(e.code()) ? " not exits" : " cannot be read"), in_path,
                e.what());
  }
  file_target target(out_path, in.identity, to_standard_output, con.stream());
  run_settings settings{opts.update, opts.select};
  return outcome(con, opts, run_conversion(settings, std::move(in.source), target, con));
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
    con.say("");
    con.say(e.what());
    usage(con);
    return kUsage;
  }
  if (opts.help) return print(con, help_text());
  if (opts.version) {
    return print(con, {std::string("quelvarn ") + kVersion + " (gzip: " + gzip_decoder_name() + ")"});
  }
  if (opts.paths.size() != 2) {
    usage(con);
    return kUsage;
  }
  prepare_last_words(opts.paths[0].c_str(), " cannot be read");
  return run(opts);
}

}  // namespace
}  // namespace quelvarn

int main(int argc, char** argv) {
  using namespace quelvarn;
  std::set_terminate(say_last_words);
  // Until the arguments are taken in properly (which needs memory), the
  // input's name as the system handed it over is what a failure shows.
  if (argc == 3) prepare_last_words(argv[1], " cannot be read");
  try {
    return command_line(argc, argv);
  } catch (...) {
    // Not even a message could be built: the words made ready still can be.
    say_last_words();
  }
}
