#include "support/temp_dir.hpp"

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <system_error>

namespace lumenfolio::testing {

TempDir::TempDir() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "lumenfolio-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Tests may leave read-only or immutable files behind; removal is best effort.
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace lumenfolio::testing
