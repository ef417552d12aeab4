// What the program still says when the C++ runtime gives up (no memory left
// even to throw): the failure message, made ready before each stage.
#ifndef QUELVARN_LAST_WORDS_H_
#define QUELVARN_LAST_WORDS_H_

#include <optional>

#include "platform/platform.h"

namespace quelvarn {

/// The message for a failure from now on: " file " + path + failure, to the
/// stream (nothing when the console is silent). The texts must outlive the
/// run; nothing is copied, since nothing may be allocated when they are said.
void prepare_last_words(std::optional<standard_stream> stream, const char* path, const char* failure);
void prepare_last_words(const char* path, const char* failure);

/// Removes a named temporary file, says the message made ready and ends the
/// process with status 1.
[[noreturn]] void say_last_words();

}  // namespace quelvarn

#endif  // QUELVARN_LAST_WORDS_H_
