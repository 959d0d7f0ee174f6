#include "sync/shared_file_identity.hpp"

#include <sys/stat.h>

#include <charconv>

namespace lumenfolio {

namespace {

std::optional<SharedFileIdentity> identityOf(const struct stat& status,
                                             const std::filesystem::path& file) {
  if (!S_ISREG(status.st_mode)) return std::nullopt;
  return SharedFileIdentity{
      .file = file,
      .device = static_cast<std::uint64_t>(status.st_dev),
      .inode = static_cast<std::uint64_t>(status.st_ino),
      .size = static_cast<std::uint64_t>(status.st_size),
      .modifiedNanoseconds =
          static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec,
  };
}

// Reads one number and the single space after it.
template <typename Number>
bool readField(std::string_view& text, Number& number) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end == text.data() + text.size() || *end != ' ') return false;
  text.remove_prefix(static_cast<std::size_t>(end - text.data()) + 1);
  return true;
}

}  // namespace

std::optional<SharedFileIdentity> SharedFileIdentity::of(const std::filesystem::path& file) {
  struct stat status {};
  if (::lstat(file.c_str(), &status) != 0) return std::nullopt;
  return identityOf(status, file);
}

std::optional<SharedFileIdentity> SharedFileIdentity::ofDescriptor(
    int descriptor, const std::filesystem::path& file) {
  struct stat status {};
  if (::fstat(descriptor, &status) != 0) return std::nullopt;
  return identityOf(status, file);
}

std::string SharedFileIdentity::text() const {
  return std::to_string(device) + ' ' + std::to_string(inode) + ' ' + std::to_string(size) + ' ' +
         std::to_string(modifiedNanoseconds) + ' ' + file.string();
}

std::optional<SharedFileIdentity> SharedFileIdentity::parse(std::string_view text) {
  SharedFileIdentity identity;
  if (!readField(text, identity.device) || !readField(text, identity.inode) ||
      !readField(text, identity.size) || !readField(text, identity.modifiedNanoseconds) ||
      text.empty()) {
    return std::nullopt;
  }
  identity.file = std::filesystem::path(std::string(text));
  return identity;
}

}  // namespace lumenfolio
