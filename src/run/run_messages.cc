// The console's words for a run: the usage text, the closing banner, the
// summary and every failure, with the exit status that goes with each.
#include "run/run_messages.h"

#include <system_error>

#include "common/version.h"

namespace quelvarn {
namespace {

// A missing path and a directory are "not there" for the user; anything else
// that exists but cannot be opened is a file they cannot read.
bool names_nothing(const std::error_code& code) {
  return code == std::errc::no_such_file_or_directory || code == std::errc::not_a_directory ||
         code == std::errc::filename_too_long || code == std::errc::is_a_directory;
}

void banner(console& con) {
  con.say("");
  con.say(std::string(" quelvarn ") + kVersion);
  con.say("");
}

}  // namespace

// " missing parameters or missing all parameters" is the wording users and
// their scripts have always seen: kept as it is on purpose.
void usage(console& con) {
  con.say("");
  con.say(" missing parameters or missing all parameters");
  con.say(" <file In> <file Out>");
  con.say(" example: quelvarn MPCORB.DAT ssystem_minor.ini");
  con.say("");
}

// Nothing is missing after a mistake in an option: the option's own line
// says what is wrong, and one line says where the rest is explained.
int option_error(console& con, const std::string& message) {
  con.say("");
  con.say(message);
  con.say(" Usage: quelvarn [OPTIONS] INPUT OUTPUT (quelvarn --help for more)");
  con.say("");
  return kUsage;
}

// The console message stays as it was; the system's reason goes, on a line
// of its own, to standard error (not at all when that is the catalogue).
int fail(console& con, const std::string& message, const std::string& path, const std::optional<std::string>& cause) {
  if (cause && con.stream()) console(standard_stream::error).say("quelvarn: " + path + ": " + *cause);
  con.say("");
  con.say(message);
  banner(con);
  return kFailure;
}

namespace {

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

// Only advice the run has not already followed: an update never removes a
// body, so one that added none is past choosing fewer.
std::string fewer_bodies(const options& opts, const run_result& r) {
  std::string choices = "--max-magnitude, --class, ";
  if (!opts.select.numbered) choices += "--numbered, ";
  choices += "--body";
  if (!r.updated) return " Choose fewer with " + choices + ", --limit or --update --existing.";
  if (r.updated->added == 0) {
    return " An update removes no body: a conversion without --update writes fewer with " + choices + " or --limit.";
  }
  return " Choose fewer with " + choices + ", --limit or --existing.";
}

void note_on_size(console& con, const options& opts, const run_result& r) {
  if (r.bodies <= kBodiesLoadedQuickly) return;
  con.say(" Note: the catalogue holds " + decimal(r.bodies) + " bodies; the planetarium starts slowly with more than " +
          decimal(kBodiesLoadedQuickly) + "." + fewer_bodies(opts, r));
}

}  // namespace

int outcome(console& con, const options& opts, const run_result& r) {
  const std::string& in = opts.paths[0];
  const std::string& out = opts.paths[1];
  switch (r.failure) {
    case run_failure::none:
      report(con, opts, r);
      con.say("");
      con.say(" Finished");
      note_on_size(con, opts, r);
      banner(con);
      return kSuccess;
    case run_failure::input_bad:
      return fail(con, " file " + in + " is bad");
    case run_failure::input_unreadable:
      return fail(con, " file " + in + " cannot be read", in, r.cause);
    case run_failure::comet_options:
      return option_error(con, " --numbered and --class are for minor planets; " + in + " is a comet file");
    case run_failure::output_is_input:
      return fail(con, " file " + out + " is the input file");
    case run_failure::output_unreadable:
      return fail(con, " file " + out + " cannot be read", out, r.cause);
    case run_failure::not_a_catalogue:
      return fail(con, " file " + out + " is not a catalogue");
    case run_failure::output_unwritable:
      return fail(con, " file " + out + " cannot be written", out, r.cause);
    case run_failure::nothing_selected:
      report(con, opts, r);
      return fail(con, " No record was selected: file " + out + " is left as it was");
  }
  return kFailure;
}

int input_not_opened(console& con, const std::string& path, const read_error& e) {
  // " not exits" is the wording users and their scripts have always seen:
  // kept as it is on purpose.
  return fail(con, " file " + path + (names_nothing(e.code()) ? " not exits" : " cannot be read"), path, e.what());
}

}  // namespace quelvarn
