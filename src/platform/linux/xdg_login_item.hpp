// Opening at login through an XDG autostart entry,
// "<config home>/autostart/lumenfolio-exporter.desktop".
#pragma once

#include <filesystem>
#include <string>

namespace lumenfolio {

class XdgLoginItem {
 public:
  // The entry in the current user's configuration folder, starting the running binary.
  XdgLoginItem();
  XdgLoginItem(std::filesystem::path entryFile, std::filesystem::path executable);

  // The entry exists and the desktop is not told to skip it (Hidden=true, or
  // GNOME's X-GNOME-Autostart-enabled=false, which its settings write).
  bool enabled() const;
  // Writes the entry whole (through a temporary file renamed into place);
  // throws a Failure, naming the path and the system's words, when it could
  // not be written.
  void registerItem() const;
  // Removes the entry; throws a Failure when one is left behind.
  void unregisterItem() const;

  const std::filesystem::path& entryFile() const { return entryFile_; }
  // The text of the entry that registerItem() writes.
  std::string entryText() const;

  static std::filesystem::path defaultEntryFile();
  // /proc/self/exe resolved, so the entry names the real binary.
  static std::filesystem::path runningExecutable();

 private:
  std::filesystem::path entryFile_;
  std::filesystem::path executable_;
};

}  // namespace lumenfolio
