// The failure message of a process that cannot allocate any more.
#include "platform/last_words.h"

#include <cstdlib>
#include <string_view>

#include "platform/output_file.h"

namespace quelvarn {
namespace {

struct {
  std::optional<standard_stream> stream = standard_stream::output;
  const char* path = nullptr;
  const char* failure = " cannot be read";
} words;

constexpr const char* kBanner = " quelvarn " QUELVARN_VERSION;

}  // namespace

void prepare_last_words(std::optional<standard_stream> stream, const char* path, const char* failure) {
  words = {stream, path, failure};
}

void prepare_last_words(const char* path, const char* failure) {
  words.path = path;
  words.failure = failure;
}

// The words are put together in a fixed buffer: nothing can be allocated.
void say_last_words() {
  output_file::abandon_temporary();
  if (words.path != nullptr && words.stream) {
    static char text[8192];
    std::size_t size = 0;
    auto add = [&](const char* part, bool shown) {
      for (; *part != '\0' && size < sizeof text; ++part) {
        auto byte = static_cast<unsigned char>(*part);
        text[size++] = shown && (byte < 0x20 || byte == 0x7f) ? '?' : *part;
      }
    };
    // nullptr: a line end.
    const char* parts[] = {nullptr, " file ", words.path, words.failure, nullptr, nullptr, kBanner, nullptr, nullptr};
    for (const char* part : parts) {
      add(part == nullptr ? kLineEnd.data() : part, part == words.path);
    }
    write_unbuffered(*words.stream, std::string_view(text, size));
  }
  std::_Exit(1);
}

}  // namespace quelvarn
