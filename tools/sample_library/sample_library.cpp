#include "sample_library/sample_library.hpp"

#include <stdexcept>

namespace lumenfolio::sample {

// Replaced by the generator.
SampleLibrary::Summary SampleLibrary::write(const std::filesystem::path&, const Options&) {
  throw std::runtime_error("the sample library generator is not built yet");
}

}  // namespace lumenfolio::sample
