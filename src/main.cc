// quelvarn: converts the Minor Planet Center's orbit files (MPCORB, its
// headerless minor-planet files, the comet file) into the minor-body
// catalogue (ssystem_minor.ini) that Stellarium reads.

#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "catalogue_update.h"
#include "conversion.h"
#include "input_stream.h"
#include "io.h"
#include "line_reader.h"
#include "options.h"
#include "output_buffer.h"
#include "output_file.h"
#include "platform.h"
#include "selection.h"
#include "url_input.h"
#include "version.h"

namespace quelvarn {
namespace {

enum exit_status { kSuccess = 0, kFailure = 1, kUsage = 2 };

void usage(console& con) {
  con.say("");
  con.say(" missing parameters or missing all parameters");
  con.say(" <file In> <file Out>");
  con.say(" example: quelvarn MPCORB.DAT ssystem_minor.ini");
  con.say("");
}

void help(console& con) {
  con.say(std::string("quelvarn ") + kVersion + ": converts the Minor Planet Center's orbit files");
  con.say("(MPCORB.DAT, the smaller minor-planet files and CometEls.txt, plain or");
  con.say("gzip-compressed) into the minor-body catalogue that the Stellarium");
  con.say("planetarium reads (ssystem_minor.ini).");
  con.say("");
  con.say("Usage: quelvarn [OPTIONS] INPUT OUTPUT");
  con.say("       quelvarn --help | -h | --version");
  con.say("");
  con.say("  INPUT   MPCORB.DAT, a minor-planet file in its record layout without its");
  con.say("          header (NEA.txt, Distant.txt, Unusual.txt, DAILY.DAT), or the comet");
  con.say("          file CometEls.txt; told apart by content, never by name");
  con.say("  OUTPUT  the catalogue to write, such as ~/.stellarium/data/ssystem_minor.ini;");
  con.say("          it is replaced only once the whole conversion has succeeded");
  con.say("");
  con.say("Options (before or after the paths; --opt VALUE or --opt=VALUE):");
  for (std::string_view line : option_lines()) con.say(line);
  con.say("");
  // The class names, wrapped to fit 80 columns.
  std::string classes = "Orbit classes: " + orbit_class_names() + ".";
  while (classes.size() > 80) {
    std::size_t cut = classes.rfind(' ', 80);
    con.say(classes.substr(0, cut));
    classes = "  " + classes.substr(cut + 1);
  }
  con.say(classes);
  con.say("A body is written when it passes every kind of option given, such as:");
  con.say("  quelvarn --update --max-magnitude 12 MPCORB.DAT.gz ssystem_minor.ini");
  con.say("");
  con.say("Messages go to standard output, or to standard error when OUTPUT is");
  con.say("standard output itself (quelvarn MPCORB.DAT /dev/stdout | ...).");
  con.say("");
  con.say("Exit status: 0 converted; 1 the input or the output failed (an existing");
  con.say("OUTPUT is left as it was); 2 wrong arguments.");
  con.say("");
  con.say("The MPC publishes the files daily:");
  con.say("  https://www.minorplanetcenter.net/iau/MPCORB/MPCORB.DAT.gz");
  con.say("  https://www.minorplanetcenter.net/iau/MPCORB/CometEls.txt");
  con.say("  https://www.minorplanetcenter.net/iau/MPCORB/ (NEA.txt, Distant.txt, ...)");
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

// When the C++ runtime gives up (no memory left even to throw), the failure
// is still reported. Nothing can be allocated by then, so the words are
// pointers made ready before each stage and put together in a fixed buffer.
struct last_words_t {
  std::optional<standard_stream> stream = standard_stream::output;
  const char* path = nullptr;
  const char* failure = " cannot be read";
} last_words;

[[noreturn]] void say_last_words() {
  output_file::abandon_temporary();
  if (last_words.path != nullptr && last_words.stream) {
    static char text[8192];
    std::size_t size = 0;
    auto add = [&](const char* part, bool shown) {
      for (; *part != '\0' && size < sizeof text; ++part) {
        auto byte = static_cast<unsigned char>(*part);
        text[size++] = shown && (byte < 0x20 || byte == 0x7f) ? '?' : *part;
      }
    };
    add(kLineEnd.data(), false);
    add(" file ", false);
    add(last_words.path, true);
    add(last_words.failure, false);
    add(kLineEnd.data(), false);
    add(kLineEnd.data(), false);
    add(" quelvarn ", false);
    add(kVersion, false);
    add(kLineEnd.data(), false);
    add(kLineEnd.data(), false);
    write_unbuffered(*last_words.stream, std::string_view(text, size));
  }
  std::_Exit(kFailure);
}

// The console message stays as it was; the system's reason goes, on a line
// of its own, to standard error.
int fail(console& con, const std::string& message, const std::string& path, const io_error& cause) {
  // Silent: standard error is the catalogue itself.
  if (con.stream()) console(standard_stream::error).say("quelvarn: " + path + ": " + cause.what());
  return fail(con, message);
}

// A missing path and a directory are "not there" for the user; anything else
// that exists but cannot be opened is a file they cannot read.
bool names_nothing(const std::error_code& code) {
  return code == std::errc::no_such_file_or_directory || code == std::errc::not_a_directory ||
         code == std::errc::filename_too_long || code == std::errc::is_a_directory;
}

// What has been reached decides the message when memory or threads run out.
enum class stage { reading, writing };

// The catalogue that --update merges into: empty when OUTPUT does not exist
// yet or is standard output. Throws read_error when it exists but cannot be
// read.
std::string read_existing(const std::string& path, bool to_standard_output) {
  std::string text;
  if (to_standard_output) return text;
  input_file existing;
  try {
    existing = open_input(path);
  } catch (const read_error& e) {
    if (e.code() == std::errc::no_such_file_or_directory) return text;
    throw;
  }
  char buffer[64 * 1024];
  while (std::size_t n = existing.source->read(buffer, sizeof buffer)) text.append(buffer, n);
  // Where the output turns every LF into CR LF (Windows), the catalogue's
  // own CR LF ends are made LF first, so that they come back as they were.
  if (kLineEnd == "\r\n") {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) text[kept++] = text[i];
    }
    text.resize(kept);
  }
  return text;
}

void summary(console& con, const options& opts, input_kind kind, const conversion_counts& counts,
             const update_counts* updated, const selection& select) {
  con.say("");
  con.say(" End of processing: " + decimal(counts.records) + (kind == input_kind::comets ? " comets." : " asteroids."));
  if (opts.select.any()) con.say(" Selected records: " + decimal(counts.selected));
  if (updated != nullptr) {
    con.say(" Updated sections: " + decimal(updated->updated));
    con.say(" Added sections: " + decimal(updated->added));
  }
  if (counts.skipped > 0) con.say(" Skipped records: " + decimal(counts.skipped));
  for (const std::string& id : select.not_found()) con.say(" Not found: " + id);
  con.say("");
  con.say(" Finished");
  banner(con);
}

// Who writes the output. Decoding, converting and writing each keep a core
// busy. Given three cores, each has its own thread. Given two, the thread
// that decodes and the one that converts share the writing, each when it is
// ahead of the other: three threads would take turns on two cores, and each
// turn leaves a core idle while a sleeping thread wakes.
block_writer writer_for(const byte_source& input) {
  return reads_ahead(input) && std::thread::hardware_concurrency() < 3 ? block_writer::shared : block_writer::thread;
}

// The output of a run, with the input's spare time lent to its writing.
class run_output {
 public:
  run_output(byte_sink& sink, byte_source& input) : input_(input), buffer_(sink, writer_for(input)) {
    share_spare_time(input_, [this] { return buffer_.write_ready_block(); });
  }
  ~run_output() { share_spare_time(input_, nullptr); }
  run_output(const run_output&) = delete;
  run_output& operator=(const run_output&) = delete;

  output_buffer& buffer() { return buffer_; }

 private:
  byte_source& input_;
  output_buffer buffer_;
};

// --update: the new sections wait in a spool until the whole input has
// been read, because the updated sections that come before them depend on
// its last records.
update_counts update(std::string existing, const std::string& out_path, output_file& out, byte_source& input,
                     line_reader& lines, input_kind kind, text_line& first, console& con, selection* select,
                     conversion_counts& counts) {
  spool_file spool(out_path);
  run_output spooled(spool.sink(), input);
  catalogue_update merge(std::move(existing), spooled.buffer());
  counts = update_records(lines, kind, first, merge, con, select);
  spooled.buffer().finish();
  if (counts.converted == 0) return {};
  output_buffer buffer(out.sink());
  update_counts updated;
  try {
    updated = merge.write(buffer, spool.rewind());
  } catch (const read_error& e) {
    // The spool is our own output; it failing is not the input's fault.
    throw write_error(e.what());
  }
  buffer.finish();
  return updated;
}

int convert(const options& opts, input_file& in, console& con, bool to_standard_output, stage& reached) {
  const std::string& in_path = opts.paths[0];
  const std::string& out_path = opts.paths[1];
  std::unique_ptr<byte_source> input = open_catalogue_stream(std::move(in.source));
  line_reader lines(*input);
  text_line first;
  input_kind kind = recognise_input(lines, first);
  if (kind == input_kind::bad) return fail(con, " file " + in_path + " is bad");
  // Comets have neither numbers nor orbit classes in the MPC's file.
  if (kind == input_kind::comets && (opts.select.numbered || !opts.select.classes.empty())) {
    con.say("");
    con.say(" --numbered and --class are for minor planets; " + in_path + " is a comet file");
    usage(con);
    return kUsage;
  }

  if (in.identity && identify(out_path) == in.identity) return fail(con, " file " + out_path + " is the input file");

  std::string existing;
  if (opts.update) {
    last_words = {con.stream(), out_path.c_str(), " cannot be read"};
    try {
      existing = read_existing(out_path, to_standard_output);
    } catch (const read_error& e) {
      return fail(con, " file " + out_path + " cannot be read", out_path, e);
    } catch (const std::exception&) {
      return fail(con, " file " + out_path + " cannot be read");
    }
  }

  reached = stage::writing;
  last_words = {con.stream(), out_path.c_str(), " cannot be written"};
  output_file out = to_standard_output ? output_file(output_file::standard_output) : output_file(out_path);
  con.say("");
  con.say(" Starting");
  con.say("");
  selection select(opts.select);
  selection* chosen = opts.select.any() ? &select : nullptr;
  conversion_counts counts;
  update_counts updated;
  if (opts.update) {
    updated = update(std::move(existing), out_path, out, *input, lines, kind, first, con, chosen, counts);
  } else {
    run_output output(out.sink(), *input);
    counts = convert_records(lines, kind, first, output.buffer(), con, chosen);
    output.buffer().finish();
  }
  // Nothing convertible: replacing a catalogue with an empty one would lose it.
  if (counts.converted == 0) return fail(con, " file " + in_path + " is bad");
  out.commit();
  summary(con, opts, kind, counts, opts.update ? &updated : nullptr, select);
  return kSuccess;
}

// The order of the checks matters: nothing may touch the output before the
// input has shown itself to be a catalogue, so that a swapped pair of
// arguments or a typo cannot cost the user the catalogue they have.
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
  last_words = {con.stream(), in_path.c_str(), " cannot be read"};

  input_file in;
  try {
    // INPUT given as a URL (url_input.h).
    in = is_url(in_path) ? open_url(in_path, opts.cache_dir, con) : open_input(in_path);
  } catch (const read_error& e) {
    return fail(con, " file " + in_path + (names_nothing(e.code()) ? " not exits" : " cannot be read"), in_path, e);
  }

  stage reached = stage::reading;
  try {
    return convert(opts, in, con, to_standard_output, reached);
  } catch (const read_error& e) {
    return fail(con, " file " + in_path + " cannot be read", in_path, e);
  } catch (const write_error& e) {
    return fail(con, " file " + out_path + " cannot be written", out_path, e);
  } catch (const std::exception&) {
    // Out of memory, or no thread could be started.
    return fail(con, reached == stage::reading ? " file " + in_path + " cannot be read"
                                               : " file " + out_path + " cannot be written");
  }
}

}  // namespace
}  // namespace quelvarn

int main(int argc, char** argv) {
  using namespace quelvarn;
  std::set_terminate(say_last_words);
  // Until the arguments are taken in properly (which needs memory), the
  // input's name as the system handed it over is what a failure shows.
  if (argc == 3) last_words.path = argv[1];
  try {
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
    // Printing is all these do: a text that could not be printed is a failure.
    if (opts.help) {
      help(con);
      return con.failed() ? kFailure : kSuccess;
    }
    if (opts.version) {
      con.say(std::string("quelvarn ") + kVersion + " (gzip: " + gzip_decoder_name() + ")");
      return con.failed() ? kFailure : kSuccess;
    }
    if (opts.paths.size() != 2) {
      usage(con);
      return kUsage;
    }
    last_words.path = opts.paths[0].c_str();
    return run(opts);
  } catch (...) {
    // Not even a message could be built: the words made ready still can be.
    say_last_words();
  }
}
