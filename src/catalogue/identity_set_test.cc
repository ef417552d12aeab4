// Bodies told apart by identity, even when their hashes collide; names
// counted in bounded memory.
#include "catalogue/identity_set.h"

#include <gtest/gtest.h>

#include <string>

namespace quelvarn {
namespace {

std::uint64_t same_hash_for_all(std::string_view) { return 42; }

// Bodies are told apart by their identities, whatever their hashes: with
// every hash the same, each is still its own, and each again is known.
TEST(IdentitySet, TellsBodiesApartEvenWhenTheirHashesCollide) {
  for (identity_set::hash_function hash : {identity_set::default_hash, same_hash_for_all}) {
    identity_set set(hash);
    for (int round = 0; round < 2; ++round) {
      for (std::uint32_t i = 0; i < 3000; ++i) {
        identity_set::found f = set.insert(std::to_string(i).append(" aa"));
        EXPECT_EQ(f.index, i);
        EXPECT_EQ(f.added, round == 0);
      }
    }
    EXPECT_EQ(set.size(), 3000U);
    EXPECT_TRUE(set.insert("").added);
    EXPECT_FALSE(set.insert("").added);
  }
}

// Names are told exactly while fewer than the held number are held (the
// table grows past its first size); past that, each counts as new.
TEST(NameTally, CountsDistinctNamesUpToWhatItHolds) {
  name_tally tally(1000);
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 999; ++i) tally.add(std::to_string(i) + "ceres");
  }
  EXPECT_EQ(tally.count(), 999U);
  tally.add("1ceres");
  tally.add("new");
  EXPECT_FALSE(tally.looking());
  tally.add("1ceres");
  EXPECT_EQ(tally.count(), 1001U);
}

}  // namespace
}  // namespace quelvarn
