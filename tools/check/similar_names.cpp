#include "check/similar_names.h"

#include <algorithm>
#include <cctype>

namespace {

char folded(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// Edits (insert, delete, change a character) between a and b, letter case ignored.
std::size_t distance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (folded(a[i - 1]) == folded(b[j - 1]) ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace

std::vector<std::string> similarNames(const std::string& wanted, const std::vector<std::string>& known,
                                      std::size_t most) {
  // Up to two edits, and fewer than half the name's characters: "sky" is not a near miss of "fire".
  const std::size_t allowed = std::min<std::size_t>(2, (wanted.size() - 1) / 2);
  std::vector<std::pair<std::size_t, std::string>> near;
  for (const std::string& name : known) {
    if (name == wanted) continue;
    const std::size_t edits = distance(wanted, name);
    if (edits <= allowed) near.emplace_back(edits, name);
  }
  std::stable_sort(near.begin(), near.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> names;
  for (std::size_t i = 0; i < near.size() && i < most; ++i) names.push_back(near[i].second);
  return names;
}
