#include "model/measure.hpp"

namespace lumenfolio {

const std::vector<Measure>& Measure::all() {
  // Scores are bare columns; flags are a CASE without ELSE, so they give 1 or NULL.
  static const std::vector<Measure> catalogue{
      {1, "overall aesthetics", Measure::Group::photo, Measure::Kind::continuous, true,
       "a.ZOVERALLAESTHETICSCORE"},
      {2, "curation", Measure::Group::photo, Measure::Kind::continuous, true, "a.ZCURATIONSCORE"},
      {3, "iconic", Measure::Group::photo, Measure::Kind::continuous, true, "a.ZICONICSCORE"},
      {4, "composition", Measure::Group::photo, Measure::Kind::continuous, true,
       "c.ZPLEASANTCOMPOSITIONSCORE"},
      {5, "lighting", Measure::Group::photo, Measure::Kind::continuous, true,
       "c.ZPLEASANTLIGHTINGSCORE"},
      {6, "interesting subject", Measure::Group::photo, Measure::Kind::continuous, true,
       "c.ZINTERESTINGSUBJECTSCORE"},
      {7, "subject choice", Measure::Group::photo, Measure::Kind::continuous, true,
       "c.ZWELLCHOSENSUBJECTSCORE"},
      {8, "framing", Measure::Group::photo, Measure::Kind::continuous, true,
       "c.ZWELLFRAMEDSUBJECTSCORE"},
      {9, "timing", Measure::Group::photo, Measure::Kind::continuous, true,
       "c.ZWELLTIMEDSHOTSCORE"},
      {10, "subject sharpness", Measure::Group::photo, Measure::Kind::continuous, true,
       "c.ZSHARPLYFOCUSEDSUBJECTSCORE"},
      {11, "lively colour", Measure::Group::photo, Measure::Kind::continuous, true,
       "c.ZLIVELYCOLORSCORE"},
      {12, "colour harmony", Measure::Group::photo, Measure::Kind::continuous, true,
       "c.ZHARMONIOUSCOLORSCORE"},
      {13, "background blur", Measure::Group::photo, Measure::Kind::continuous, true,
       "c.ZTASTEFULLYBLURREDSCORE"},
      {14, "perspective", Measure::Group::photo, Measure::Kind::continuous, true,
       "c.ZPLEASANTPERSPECTIVESCORE"},
      {15, "symmetry", Measure::Group::photo, Measure::Kind::continuous, true,
       "c.ZPLEASANTSYMMETRYSCORE"},
      {16, "patterns", Measure::Group::photo, Measure::Kind::continuous, true,
       "c.ZPLEASANTPATTERNSCORE"},
      {17, "reflections", Measure::Group::photo, Measure::Kind::continuous, true,
       "c.ZPLEASANTREFLECTIONSSCORE"},
      {18, "post-processing", Measure::Group::photo, Measure::Kind::continuous, true,
       "c.ZPLEASANTPOSTPROCESSINGSCORE"},
      {19, "camera tilt", Measure::Group::photo, Measure::Kind::continuous, true,
       "c.ZPLEASANTCAMERATILTSCORE"},
      {20, "noise", Measure::Group::photo, Measure::Kind::continuous, true, "c.ZNOISESCORE"},
      {21, "failed shot", Measure::Group::photo, Measure::Kind::continuous, true,
       "c.ZFAILURESCORE"},
      {22, "intrusive object", Measure::Group::photo, Measure::Kind::continuous, true,
       "c.ZINTRUSIVEOBJECTPRESENCESCORE"},
      {23, "low light", Measure::Group::photo, Measure::Kind::continuous, false, "c.ZLOWLIGHT"},
      {24, "immersiveness", Measure::Group::photo, Measure::Kind::continuous, true,
       "c.ZIMMERSIVENESSSCORE"},
      {25, "activity", Measure::Group::photo, Measure::Kind::continuous, true, "m.ZACTIVITYSCORE"},
      {26, "wallpaper suitability", Measure::Group::photo, Measure::Kind::continuous, true,
       "m.ZWALLPAPERSCORE"},
      {40, "never viewed", Measure::Group::archive, Measure::Kind::flag, true,
       "CASE WHEN x.ZVIEWCOUNT = 0 THEN 1 END"},
      {41, "shared at some point", Measure::Group::archive, Measure::Kind::flag, true,
       "CASE WHEN x.ZSHARECOUNT > 0 THEN 1 END"},
      {42, "favourite", Measure::Group::archive, Measure::Kind::flag, true,
       "CASE WHEN a.ZFAVORITE = 1 THEN 1 END"},
      {43, "camera burst", Measure::Group::archive, Measure::Kind::flag, true,
       "CASE WHEN a.ZAVALANCHEUUID IS NOT NULL THEN 1 END"},
      {44, "system duplicate", Measure::Group::archive, Measure::Kind::flag, true,
       "CASE WHEN a.ZDUPLICATEASSETVISIBILITYSTATE > 0 THEN 1 END"},
      {60, "no faces", Measure::Group::technique, Measure::Kind::flag, true,
       "CASE WHEN m.ZFACECOUNT = 0 THEN 1 END"},
      {61, "people in frame", Measure::Group::technique, Measure::Kind::flag, true,
       "CASE WHEN x.ZHASPEOPLESCENEMIDORGREATERCONFIDENCE = 1 THEN 1 END"},
      {62, "HDR", Measure::Group::technique, Measure::Kind::flag, true,
       "CASE WHEN a.ZHDRTYPE > 0 THEN 1 END"},
      {63, "portrait with depth map", Measure::Group::technique, Measure::Kind::flag, true,
       "CASE WHEN a.ZDEPTHTYPE > 0 THEN 1 END"},
      {64, "video", Measure::Group::technique, Measure::Kind::flag, true,
       "CASE WHEN a.ZKIND = 1 THEN 1 END"},
      {65, "no location", Measure::Group::technique, Measure::Kind::flag, true,
       "CASE WHEN (a.ZLATITUDE IS NULL OR a.ZLATITUDE <= -180) THEN 1 END"},
      {66, "low resolution", Measure::Group::technique, Measure::Kind::flag, true,
       "CASE WHEN a.ZWIDTH * a.ZHEIGHT < 2000000 THEN 1 END"},
  };
  return catalogue;
}

std::string_view Measure::rawValue(Group group) {
  switch (group) {
    case Group::photo:
      return "photo";
    case Group::archive:
      return "archive";
    case Group::technique:
      return "technique";
  }
  return {};
}

const std::vector<Measure::Group>& Measure::allGroups() {
  static const std::vector<Group> groups{Group::photo, Group::archive, Group::technique};
  return groups;
}

std::optional<Measure::Group> Measure::groupNamed(std::string_view rawValue) {
  for (const auto candidate : allGroups()) {
    if (Measure::rawValue(candidate) == rawValue) return candidate;
  }
  return std::nullopt;
}

}  // namespace lumenfolio
