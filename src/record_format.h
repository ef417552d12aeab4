// The shape both record formats give the record loop, the selection and the
// update: a struct of static functions per format (mpcorb_record,
// comet_record), so that the loop calls them directly, record by record.
//
//   static skip_reason write(std::string_view line, char* room, char*& end);
//   static body_identity identity(std::string_view line);
//   static const update_keys& keys();
#ifndef QUELVARN_RECORD_FORMAT_H_
#define QUELVARN_RECORD_FORMAT_H_

#include <string_view>

namespace quelvarn {

/// Why a line cannot be converted, as the console shows it: the reason, then
/// the field at fault (the epoch of "bad epoch "), if any; nothing for a
/// line that is fine.
struct skip_reason {
  std::string_view reason;
  std::string_view field = {};
  bool fine() const { return reason.empty(); }
};

}  // namespace quelvarn

#endif  // QUELVARN_RECORD_FORMAT_H_
