#include "options.h"

#include <charconv>
#include <cstdint>
#include <optional>

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
  std::optional<double> h = parse_decimal(value);
  if (!h) throw usage_error(" option " + std::string(option) + " needs a number, not \"" + std::string(value) + "\"");
  return *h;
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
         option == "--cache-dir";
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
      "  --cache-dir DIR    keep downloads of a URL given as INPUT in DIR",
      "  --help, -h         this text",
      "  --version          the version",
      "  --                 the end of the options (for a path that begins with -)",
  };
  return lines;
}

}  // namespace quelvarn
