// Sets of the bodies an update has appended: identities and numbers.
#include "catalogue/identity_set.h"

#include <algorithm>
#include <functional>
#include <utility>

namespace quelvarn {

std::uint64_t identity_set::default_hash(std::string_view text) { return std::hash<std::string_view>{}(text); }

std::string_view identity_set::text_of(std::uint32_t index) const {
  std::size_t begin = offsets_[index];
  std::size_t end = index + 1 < offsets_.size() ? offsets_[index + 1] : texts_.size();
  return std::string_view(texts_).substr(begin, end - begin);
}

identity_set::found identity_set::insert(std::string_view identity) {
  if ((offsets_.size() + 1) * 2 > slots_.size()) grow();
  std::uint64_t hash = hash_(identity);
  auto tag = static_cast<std::uint32_t>(hash >> 32) | 1U;
  std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    slot& s = slots_[i];
    if (s.tag == 0) {
      s = {tag, static_cast<std::uint32_t>(offsets_.size())};
      offsets_.push_back(static_cast<std::uint32_t>(texts_.size()));
      texts_.append(identity);
      return {s.index, true};
    }
    if (s.tag == tag && text_of(s.index) == identity) return {s.index, false};
  }
}

void identity_set::grow() {
  std::vector<slot> old = std::exchange(slots_, std::vector<slot>(std::max<std::size_t>(16, slots_.size() * 2)));
  std::size_t mask = slots_.size() - 1;
  for (const slot& s : old) {
    if (s.tag == 0) continue;
    std::size_t i = hash_(text_of(s.index)) & mask;
    while (slots_[i].tag != 0) i = (i + 1) & mask;
    slots_[i] = s;
  }
}

bool number_set::insert(std::uint64_t number) {
  std::size_t page = number / kPageBits;
  if (page >= pages_.size()) pages_.resize(page + 1);
  if (!pages_[page]) pages_[page] = std::make_unique<std::uint64_t[]>(kPageBits / 64);
  std::uint64_t& word = pages_[page][number % kPageBits / 64];
  std::uint64_t bit = std::uint64_t{1} << (number % 64);
  bool added = (word & bit) == 0;
  word |= bit;
  return added;
}

void name_tally::add(std::string_view name) {
  if (!looking()) return add_without_looking();
  if ((names_ + 1) * 4 > hashes_.size() * 3) grow();
  std::uint64_t hash = identity_set::default_hash(name);
  if (hash == 0) hash = 1;
  std::size_t mask = hashes_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    if (hashes_[i] == hash) return;
    if (hashes_[i] == 0) {
      hashes_[i] = hash;
      ++names_;
      ++count_;
      return;
    }
  }
}

void name_tally::grow() {
  std::vector<std::uint64_t> old =
      std::exchange(hashes_, std::vector<std::uint64_t>(std::max<std::size_t>(64, hashes_.size() * 2)));
  std::size_t mask = hashes_.size() - 1;
  for (std::uint64_t hash : old) {
    if (hash == 0) continue;
    std::size_t i = hash & mask;
    while (hashes_[i] != 0) i = (i + 1) & mask;
    hashes_[i] = hash;
  }
}

}  // namespace quelvarn
