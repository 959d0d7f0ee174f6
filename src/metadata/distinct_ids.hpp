// A set of small integer ids that stays a plain vector while it is small, as
// it is for the terms of one asset, and adds a hash index when it grows.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <unordered_set>
#include <vector>

namespace lumenfolio {

class DistinctIds {
 public:
  // True when `id` was not in the set yet; it is then added.
  bool insert(std::uint32_t id) {
    if (index_) {
      if (!index_->insert(id).second) return false;
    } else if (std::find(ids_.begin(), ids_.end(), id) != ids_.end()) {
      return false;
    }
    ids_.push_back(id);
    if (!index_ && ids_.size() > kLinearLimit) {
      index_ = std::make_unique<std::unordered_set<std::uint32_t>>(ids_.begin(), ids_.end());
    }
    return true;
  }

  void clear() {
    ids_.clear();
    index_.reset();
  }

 private:
  static constexpr std::size_t kLinearLimit = 48;
  std::vector<std::uint32_t> ids_;
  std::unique_ptr<std::unordered_set<std::uint32_t>> index_;
};

}  // namespace lumenfolio
