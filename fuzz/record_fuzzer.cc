// One record line through the section writer, and its first five bytes
// through the epoch conversion.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "io.h"
#include "output_buffer.h"
#include "packed_epoch.h"
#include "section_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quelvarn;
  std::string_view line(reinterpret_cast<const char*>(data), size);

  string_sink sink;
  {
    output_buffer out(sink, false);
    record2section(line, out);
    out.finish();
  }
  if (sink.text.size() > kMaxSectionSize || sink.text.compare(sink.text.size() - 2, 2, "\n\n") != 0) __builtin_trap();

  std::string_view epoch = line.substr(0, 5);
  double day = jd(epoch);
  if (epoch_readable(epoch) && (day < 2300000 || day > 2500000)) __builtin_trap();
  char expected[64];
  char got[64];
  std::snprintf(expected, sizeof expected, "%.10g", day);
  *format_julian_day(day, got) = '\0';
  if (std::strcmp(expected, got) != 0) __builtin_trap();
  return 0;
}
