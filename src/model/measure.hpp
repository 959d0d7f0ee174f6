// The catalogue of per-photo measures the library computes: each with a
// one-byte code, the only thing the measures blob carries, and the SQL
// expression that yields its value for one asset.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumenfolio {

struct Measure {
  enum class Group { photo, archive, technique };
  enum class Kind { continuous, flag };

  std::uint8_t code = 0;
  std::string key;
  Group group = Group::photo;
  Kind kind = Kind::continuous;
  bool higherIsBetter = true;
  // Over the aliases of the measures query: a ZASSET, c ZCOMPUTEDASSETATTRIBUTES,
  // m ZMEDIAANALYSISASSETATTRIBUTES, x ZADDITIONALASSETATTRIBUTES.
  std::string expression;

  bool operator==(const Measure&) const = default;

  // The 38 entries in catalogue order.
  static const std::vector<Measure>& all();

  static std::string_view rawValue(Group group);
  static std::optional<Group> groupNamed(std::string_view rawValue);
  static const std::vector<Group>& allGroups();
};

}  // namespace lumenfolio
