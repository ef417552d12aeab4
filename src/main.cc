// quelvarn: converts the Minor Planet Center's MPCORB catalogue into the
// minor-body catalogue (ssystem_minor.ini) that Stellarium reads.

#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "conversion.h"
#include "input_stream.h"
#include "io.h"
#include "line_reader.h"
#include "output_buffer.h"
#include "output_file.h"
#include "platform.h"
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
  con.say(std::string("quelvarn ") + kVersion + ": converts the Minor Planet Center's orbit catalogue");
  con.say("(MPCORB.DAT, plain or gzip-compressed) into the minor-body catalogue that");
  con.say("the Stellarium planetarium reads (ssystem_minor.ini).");
  con.say("");
  con.say("Usage: quelvarn INPUT OUTPUT");
  con.say("       quelvarn --help | -h | --version");
  con.say("");
  con.say("  INPUT   the catalogue: MPCORB.DAT or MPCORB.DAT.gz");
  con.say("  OUTPUT  the catalogue to write, such as ~/.stellarium/data/ssystem_minor.ini;");
  con.say("          it is replaced only once the whole conversion has succeeded");
  con.say("");
  con.say("Messages go to standard output, or to standard error when OUTPUT is");
  con.say("standard output itself (quelvarn MPCORB.DAT /dev/stdout | ...).");
  con.say("");
  con.say("Exit status: 0 converted; 1 the input or the output failed (an existing");
  con.say("OUTPUT is left as it was); 2 wrong arguments.");
  con.say("");
  con.say("The MPC publishes the catalogue daily:");
  con.say("  https://www.minorplanetcenter.net/iau/MPCORB/MPCORB.DAT.gz");
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

int convert(const std::string& in_path, const std::string& out_path, input_file& in, console& con,
            bool to_standard_output, stage& reached) {
  std::unique_ptr<byte_source> input = open_catalogue_stream(std::move(in.source));
  line_reader lines(*input);
  if (!read_title(lines)) return fail(con, " file " + in_path + " is bad");

  if (in.identity && identify(out_path) == in.identity) return fail(con, " file " + out_path + " is the input file");

  reached = stage::writing;
  last_words = {con.stream(), out_path.c_str(), " cannot be written"};
  output_file out = to_standard_output ? output_file(output_file::standard_output) : output_file(out_path);
  con.say("");
  con.say(" Starting");
  con.say("");
  output_buffer buffer(out.sink());
  conversion_counts counts = convert_records(lines, buffer, con);
  buffer.finish();
  // Nothing convertible: replacing a catalogue with an empty one would lose it.
  if (counts.converted == 0) return fail(con, " file " + in_path + " is bad");
  out.commit();

  con.say("");
  con.say(" End of processing: " + decimal(counts.records) + " asteroids.");
  if (counts.skipped > 0) con.say(" Skipped records: " + decimal(counts.skipped));
  con.say("");
  con.say(" Finished");
  banner(con);
  return kSuccess;
}

// The order of the checks matters: nothing may touch the output before the
// input has shown itself to be a catalogue, so that a swapped pair of
// arguments or a typo cannot cost the user the catalogue they have.
int run(const std::string& in_path, const std::string& out_path) {
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
    in = open_input(in_path);
  } catch (const read_error& e) {
    return fail(con, " file " + in_path + (names_nothing(e.code()) ? " not exits" : " cannot be read"), in_path, e);
  }

  stage reached = stage::reading;
  try {
    return convert(in_path, out_path, in, con, to_standard_output, reached);
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
    if (args.size() == 1) {
      std::string_view arg = args[0];
      // Printing is all these do: a text that could not be printed is a failure.
      if (arg == "--help" || arg == "-h") {
        help(con);
        return con.failed() ? kFailure : kSuccess;
      }
      if (arg == "--version") {
        con.say(std::string("quelvarn ") + kVersion + " (gzip: " + gzip_decoder_name() + ")");
        return con.failed() ? kFailure : kSuccess;
      }
    }
    if (args.size() != 2) {
      usage(con);
      return kUsage;
    }
    last_words.path = args[0].c_str();
    return run(args[0], args[1]);
  } catch (...) {
    // Not even a message could be built: the words made ready still can be.
    say_last_words();
  }
}
