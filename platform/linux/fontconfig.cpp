// Font files found through fontconfig.
#include <fontconfig/fontconfig.h>
#include <strings.h>

#include <string>

#include "platform/sdl/system.h"

namespace platform::detail {

// Fontconfig lookup: the requested face, then IPAGothic, then any monospace face.
std::string FindFontFile(const char* face, bool bold) {
  static bool inited = FcInit();
  if (!inited) return {};
  for (const char* name : {face, "IPAGothic", "monospace"}) {
    if (!name || !*name) continue;
    FcPattern* pat = FcNameParse(reinterpret_cast<const FcChar8*>(name));
    if (!pat) continue;
    if (bold) FcPatternAddInteger(pat, FC_WEIGHT, FC_WEIGHT_BOLD);
    FcConfigSubstitute(nullptr, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, pat, &result);
    std::string file;
    if (match) {
      FcChar8* family = nullptr;
      FcChar8* path = nullptr;
      // Only accept the match when fontconfig found the family asked for; otherwise fall through
      // to the next candidate rather than whatever default it substituted.
      if (FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch &&
          FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
        bool familyOk = std::string(name) == "monospace" ||
                        strcasecmp(reinterpret_cast<const char*>(family), name) == 0;
        if (familyOk) file = reinterpret_cast<const char*>(path);
      }
      FcPatternDestroy(match);
    }
    FcPatternDestroy(pat);
    if (!file.empty()) return file;
  }
  return {};
}

}  // namespace platform::detail
