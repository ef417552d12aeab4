// The version, written once in CMakeLists.txt.
#ifndef QUELVARN_VERSION_H_
#define QUELVARN_VERSION_H_

namespace quelvarn {
// QUELVARN_VERSION comes from project(VERSION) in CMakeLists.txt, the one
// place the version is written.
inline constexpr const char* kVersion = QUELVARN_VERSION;
}  // namespace quelvarn

#endif  // QUELVARN_VERSION_H_
