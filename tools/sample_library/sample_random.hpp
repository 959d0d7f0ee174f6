// A small, fully specified pseudo-random generator (splitmix64), so that a
// seed gives the same library on every machine and standard library version.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace lumenfolio::sample {

class SampleRandom {
 public:
  // Independent streams keep one part of the library stable when another
  // part changes how many numbers it draws.
  enum class Stream : std::uint64_t { identity = 1, photos = 2, psi = 3, leo = 4, burst = 5 };

  explicit SampleRandom(std::uint64_t seed) : state_(seed) {}
  SampleRandom(std::uint64_t seed, Stream stream, std::uint64_t index)
      : state_(mixed(seed ^ mixed(static_cast<std::uint64_t>(stream) * 0x9E3779B97F4A7C15ULL +
                                  mixed(index)))) {}

  std::uint64_t next() {
    state_ += 0x9E3779B97F4A7C15ULL;
    return mixed(state_);
  }

  // Uniform in [0, 1), from the top 53 bits.
  double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
  bool chance(double probability) { return unit() < probability; }
  double between(double low, double high) { return low + (high - low) * unit(); }
  // Uniform in [low, high], both included; the modulo bias is far below what a sample notices.
  int between(int low, int high) {
    const auto span = static_cast<std::uint64_t>(high - low) + 1;
    return low + static_cast<int>(next() % span);
  }

  template <typename T>
  const T& pick(const std::vector<T>& values) {
    return values[static_cast<std::size_t>(between(0, static_cast<int>(values.size()) - 1))];
  }

  // `count` distinct entries of `values` in the order drawn; all of them, shuffled, when
  // `count` is not smaller than the list. Lists are short, so a linear look-up is enough.
  template <typename T>
  std::vector<T> distinct(const std::vector<T>& values, int count) {
    const auto wanted = std::min(values.size(), static_cast<std::size_t>(std::max(count, 0)));
    std::vector<std::size_t> positions;
    positions.reserve(wanted);
    while (positions.size() < wanted) {
      const auto position = static_cast<std::size_t>(next() % values.size());
      if (std::find(positions.begin(), positions.end(), position) == positions.end()) {
        positions.push_back(position);
      }
    }
    std::vector<T> chosen;
    chosen.reserve(wanted);
    for (const auto position : positions) chosen.push_back(values[position]);
    return chosen;
  }

 private:
  static std::uint64_t mixed(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }

  std::uint64_t state_;
};

}  // namespace lumenfolio::sample
