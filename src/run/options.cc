// The command line read into options, and the help text.
#include "run/options.h"

#include <charconv>
#include <cstdint>
#include <iterator>
#include <optional>

#include "common/text.h"
#include "common/version.h"
#include "records/mpcorb_record.h"

namespace quelvarn {
namespace {

std::uint64_t parse_count(std::string_view option, std::string_view value) {
  std::uint64_t n = 0;
  auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), n);
  if (value.empty() || error != std::errc() || end != value.data() + value.size()) {
    throw usage_error(" option " + std::string(option) + " needs a whole number of 0 or more, not \"" +
                      std::string(value) + "\"");
  }
  return n;
}

double parse_magnitude(std::string_view option, std::string_view value) {
  std::optional<double> h = decimal_number(trim(value), number_form::c_locale);
  if (!h) throw usage_error(" option " + std::string(option) + " needs a number, not \"" + std::string(value) + "\"");
  return *h;
}

section_layout parse_layout(std::string_view value) {
  if (value == "classic") return section_layout::classic;
  if (value == "current") return section_layout::current;
  throw usage_error(" option --layout: unknown layout \"" + std::string(value) +
                    "\"; the layouts are classic, current");
}

void apply_valued(std::string_view option, std::string_view value, options& opts) {
  selection_criteria& select = opts.select;
  if (option == "--max-magnitude") {
    select.max_magnitude = parse_magnitude(option, value);
  } else if (option == "--limit") {
    select.limit = parse_count(option, value);
  } else if (option == "--class") {
    if (std::optional<std::string> unknown = add_orbit_classes(value, select.classes)) {
      throw usage_error(" option --class: unknown class \"" + *unknown + "\"; the classes are " + orbit_class_names());
    }
  } else if (option == "--layout") {
    opts.layout = parse_layout(value);
  } else if (option == "--cache-dir") {
    if (value.empty()) throw usage_error(" option --cache-dir needs a folder");
    opts.cache_dir = value;
  } else {
    if (normalized_id(value).empty()) throw usage_error(" option --body needs a number, designation or name");
    select.bodies.emplace_back(value);
  }
}

bool takes_value(std::string_view option) {
  return option == "--max-magnitude" || option == "--limit" || option == "--class" || option == "--body" ||
         option == "--layout" || option == "--cache-dir";
}

// Applies one option without a value; false if the option is not one of them.
bool apply_flag(std::string_view option, options& opts) {
  if (option == "--help" || option == "-h") {
    opts.help = true;
  } else if (option == "--version") {
    opts.version = true;
  } else if (option == "--update") {
    opts.update = true;
  } else if (option == "--numbered") {
    opts.select.numbered = true;
  } else if (option == "--existing") {
    opts.select.existing = true;
  } else {
    return false;
  }
  return true;
}

}  // namespace

options parse_options(const std::vector<std::string_view>& args) {
  options opts;
  bool options_ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    // A lone "-" is a path, as for most tools.
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      opts.paths.emplace_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    std::size_t equals = arg.find('=');
    std::string_view option = arg.substr(0, equals);
    if (takes_value(option)) {
      std::string_view value;
      if (equals != std::string_view::npos) {
        value = arg.substr(equals + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        throw usage_error(" option " + std::string(option) + " needs a value");
      }
      apply_valued(option, value, opts);
    } else if (apply_flag(option, opts)) {
      if (equals != std::string_view::npos) throw usage_error(" option " + std::string(option) + " takes no value");
    } else {
      throw usage_error(" unknown option " + std::string(option));
    }
  }
  // What a catalogue holds is known only of the one being updated.
  if (opts.select.existing && !opts.update) throw usage_error(" option --existing needs --update");
  return opts;
}

const std::vector<std::string_view>& option_lines() {
  static const std::vector<std::string_view> lines = {
      "  --update           update the catalogue at OUTPUT: new orbits, all else kept",
      "  --max-magnitude H  only bodies of absolute magnitude H or brighter",
      "  --numbered         only numbered bodies",
      "  --class LIST       only bodies of these orbit classes, comma-separated",
      "  --body ID          only this body: number, designation or name (repeatable)",
      "  --limit N          only the first N bodies that pass the other options",
      "  --existing         with --update: only the bodies OUTPUT already holds",
      "  --layout LAYOUT    classic (default) or current: the keys 24.x and 26.x expect",
      "  --cache-dir DIR    keep downloads of a URL given as INPUT in DIR",
      "  --help, -h         this text",
      "  --version          the version",
      "  --                 the end of the options (for a path that begins with -)",
  };
  return lines;
}

namespace {

// The help text around the option lines; the first line names the version.
constexpr std::string_view kHelpHead[] = {
    ": converts the Minor Planet Center's orbit files",
    "(MPCORB.DAT, the smaller minor-planet files and CometEls.txt, plain or",
    "gzip-compressed) into the minor-body catalogue that the Stellarium",
    "planetarium reads (ssystem_minor.ini).",
    "",
    "Usage: quelvarn [OPTIONS] INPUT OUTPUT",
    "       quelvarn --help | -h | --version",
    "",
    "  INPUT   MPCORB.DAT, a minor-planet file in its record layout without its",
    "          header (NEA.txt, Distant.txt, Unusual.txt, DAILY.DAT), or the comet",
    "          file CometEls.txt; told apart by content, never by name; or the",
    "          http(s) URL of one, downloaded and kept for the next run",
    "  OUTPUT  the catalogue to write, such as ~/.stellarium/data/ssystem_minor.ini;",
    "          it is replaced only once the whole conversion has succeeded",
    "",
    "Options (before or after the paths; --opt VALUE or --opt=VALUE):",
};
constexpr std::string_view kHelpTail[] = {
    "A body is written when it passes every kind of option given, such as:",
    "  quelvarn --update --max-magnitude 12 MPCORB.DAT.gz ssystem_minor.ini",
    "--update appends sections in the layout the catalogue uses, unless --layout.",
    "The daily refresh of what a catalogue holds, in one command:",
    "  quelvarn --update --existing \\",
    "    https://www.minorplanetcenter.net/iau/MPCORB/MPCORB.DAT.gz ssystem_minor.ini",
    "",
    "Messages go to standard output, or to standard error when OUTPUT is",
    "standard output itself (quelvarn MPCORB.DAT /dev/stdout | ...).",
    "",
    "Exit status: 0 converted; 1 the input or the output failed (an existing",
    "OUTPUT is left as it was); 2 wrong arguments.",
    "",
    "The MPC publishes the files daily:",
    "  https://www.minorplanetcenter.net/iau/MPCORB/MPCORB.DAT.gz",
    "  https://www.minorplanetcenter.net/iau/MPCORB/CometEls.txt",
    "  https://www.minorplanetcenter.net/iau/MPCORB/ (NEA.txt, Distant.txt, ...)",
};

}  // namespace

std::vector<std::string> help_text() {
  std::vector<std::string> lines(std::begin(kHelpHead), std::end(kHelpHead));
  lines.front() = std::string("quelvarn ") + kVersion + lines.front();
  for (std::string_view line : option_lines()) lines.emplace_back(line);
  lines.emplace_back("");
  // The class names, wrapped to fit 80 columns.
  std::string classes = "Orbit classes: " + orbit_class_names() + ".";
  while (classes.size() > 80) {
    std::size_t cut = classes.rfind(' ', 80);
    lines.push_back(classes.substr(0, cut));
    classes = "  " + classes.substr(cut + 1);
  }
  lines.push_back(classes);
  lines.insert(lines.end(), std::begin(kHelpTail), std::end(kHelpTail));
  return lines;
}

}  // namespace quelvarn
