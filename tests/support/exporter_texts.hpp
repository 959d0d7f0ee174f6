// The texts the exporter shows, written out here on their own so that a test
// compares the controller's words with the expected words, not with themselves.
#pragma once

#include <string>

namespace lumenfolio::testing::texts {

inline const std::string kNoAccess =
    "No access to the photo library. Allow it in System Settings → Privacy & Security → Photos.";
inline const std::string kChooseFolder =
    "Choose the shared folder — the same one the lumenfolio apps use.";
inline const std::string kReading = "Reading the library databases…";
inline const std::string kReadingDetails = "Reading places, people and camera details…";
inline const std::string kNoMeasures = "The library database has no computed measures yet.";
inline const std::string kMatching = "Matching photos…";
inline const std::string kIncompleteRead = "The library database couldn't be read completely.";
inline const std::string kLibraryKeptChanging =
    "The library kept changing while it was read; the next export tries again.";
inline const std::string kCannotWrite = "Couldn't write the shared file.";
inline const std::string kNoLibraryInPictures = "Couldn't find a Photos library in ~/Pictures.";
inline const std::string kLibraryUnreadable =
    "We read technique and measures straight from the Photos library databases, but this user "
    "can't open them. Check the permissions of the library's database folder.";

inline std::string unavailable(const std::string& folderName) {
  return "The shared folder “" + folderName + "” isn't available right now.";
}

inline std::string writing(int count) {
  return "Writing " + std::to_string(count) + " photos…";
}

}  // namespace lumenfolio::testing::texts
