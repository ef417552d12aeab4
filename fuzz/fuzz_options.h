// Every target's own libFuzzer flags (its input size limit, its dictionary),
// read from the .options file beside the binary, so that a plain run
// ("catalogue_fuzzer CORPUS") fuzzes as scripts/fuzz does. Flags given on
// the command line come later, so they win.
#ifndef QUELVARN_FUZZ_OPTIONS_H_
#define QUELVARN_FUZZ_OPTIONS_H_

#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace quelvarn_fuzz {

inline std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// "key = value" lines of the file's [libfuzzer] section as "-key=value"; a
// dictionary is named relative to the binary, as other runners take it.
inline std::vector<std::string> options_beside(const std::string& binary) {
  std::vector<std::string> flags;
  std::ifstream file(binary + ".options");
  std::string dir = binary.substr(0, binary.find_last_of('/') + 1);
  bool ours = false;
  for (std::string raw; std::getline(file, raw);) {
    std::string_view line = trimmed(raw);
    if (line.starts_with('[')) ours = line == "[libfuzzer]";
    std::size_t equals = line.find('=');
    if (!ours || line.starts_with('#') || equals == std::string_view::npos) continue;
    std::string_view key = trimmed(line.substr(0, equals));
    std::string value(trimmed(line.substr(equals + 1)));
    if (key == "dict" && !value.starts_with('/')) value = dir + value;
    flags.push_back("-" + std::string(key) + "=" + value);
  }
  return flags;
}

// Puts the options' flags right after the program's name.
inline void use_options(int* argc, char*** argv) {
  static std::vector<std::string> flags;
  static std::vector<char*> args;
  if (*argc < 1) return;
  flags = options_beside((*argv)[0]);
  if (flags.empty()) return;
  args.assign(*argv, *argv + *argc);
  args.insert(args.begin() + 1, flags.size(), nullptr);
  for (std::size_t i = 0; i < flags.size(); ++i) args[1 + i] = flags[i].data();
  args.push_back(nullptr);
  *argc = static_cast<int>(args.size() - 1);
  *argv = args.data();
}

}  // namespace quelvarn_fuzz

#endif  // QUELVARN_FUZZ_OPTIONS_H_
