// The bodies an update has appended so far, told apart by their identities
// themselves, so that two bodies can never be taken for one.
#ifndef QUELVARN_IDENTITY_SET_H_
#define QUELVARN_IDENTITY_SET_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quelvarn {

/// Identities (short strings) in flat memory: a table of 8-byte slots at
/// most half full and the texts packed one after another, about 30 bytes
/// per body. A hash only finds the place; equal hashes are confirmed on the
/// text.
class identity_set {
 public:
  using hash_function = std::uint64_t (*)(std::string_view);
  static std::uint64_t default_hash(std::string_view text);

  explicit identity_set(hash_function hash = default_hash) : hash_(hash) {}

  /// The index of the identity (0, 1, 2, ... in the order first inserted),
  /// and whether it is new.
  struct found {
    std::uint32_t index;
    bool added;
  };
  found insert(std::string_view identity);
  std::size_t size() const { return offsets_.size(); }

 private:
  std::string_view text_of(std::uint32_t index) const;
  void grow();

  struct slot {
    std::uint32_t tag = 0;    // part of the hash; 0 marks a free slot
    std::uint32_t index = 0;  // into offsets_
  };
  hash_function hash_;
  std::vector<slot> slots_;
  std::vector<std::uint32_t> offsets_;  // where each identity begins in texts_
  std::string texts_;
};

/// Body numbers, a bit each, in pages made as numbers fall in them: as small
/// as a plain bit set for the whole catalogue, and a few bytes for a few
/// bodies, whatever their numbers.
class number_set {
 public:
  /// Whether the number is new.
  bool insert(std::uint64_t number);

 private:
  static constexpr std::size_t kPageBits = 4096;
  std::vector<std::unique_ptr<std::uint64_t[]>> pages_;
};

/// Counts distinct names (section names: two sections of one name are one
/// body to the planetarium) in bounded memory: while it holds fewer than
/// `held` names it looks at each; past that, every further name counts as a
/// new one, as it is unless the input repeats a body. So whether the count
/// passes held - 1 is always told. A name is held as its 64-bit hash alone
/// (8 bytes): two of 20,000 names share one with a chance of about 1e-11.
class name_tally {
 public:
  explicit name_tally(std::size_t held) : held_(held) {}
  void add(std::string_view name);
  /// Whether add() still looks at the name (a caller may spare finding it).
  bool looking() const { return names_ < held_; }
  void add_without_looking() { ++count_; }
  std::uint64_t count() const { return count_; }

 private:
  void grow();

  std::size_t held_;
  std::size_t names_ = 0;
  std::vector<std::uint64_t> hashes_;  // open addressing, at most 3/4 full; 0 is free
  std::uint64_t count_ = 0;
};

}  // namespace quelvarn

#endif  // QUELVARN_IDENTITY_SET_H_
