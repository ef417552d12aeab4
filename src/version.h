#ifndef QUELVARN_VERSION_H_
#define QUELVARN_VERSION_H_

namespace quelvarn {
inline constexpr const char* kVersion = "1.0.0";
}

#endif  // QUELVARN_VERSION_H_
