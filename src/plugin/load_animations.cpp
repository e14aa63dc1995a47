#include <exception>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "framework/kel_descent.h"
#include "framework/line_log.h"
#include "plugin/animation.h"
#include "plugin/load_animations.h"
#include "plugin/fault_report.h"
#include "plugin/folder_listing.h"

namespace fs = std::filesystem;

namespace {

void addAnimation(Catalogue& catalogue, const std::string& folder, const std::string& name,
                  const std::string& path, PreloadBudget& preload) {
  loadAnimationFile(preload, name, path, [&](bool decodeNow) {
    auto animation = std::make_unique<Animation>(animationBase(folder, name), path, decodeNow);
    catalogue[name] = animation.release();  // deleted with the texture manager
  });
}

void loadFolder(Catalogue& catalogue, const std::string& folder) {
  PreloadBudget preload;
  // A listing that fails part way stops the loading; what was made so far stays.
  const std::error_code error = listAnimationFolder(folder, [&](const ListedEntry& entry) {
    if (entry.kind == ListedKind::Animation) {
      // Made once, from the file that wins; the other is named in the log.
      const AnimationFileChoice choice = chooseAnimationFile(animationBase(folder, entry.textureName));
      if (choice.skipped == entry.fileName)
        descentLog().write("loadAnimations: skipped %s: %s", entry.fileName.c_str(),
                           losingFileReason(choice.path).c_str());
      else
        addAnimation(catalogue, folder, entry.textureName, choice.path, preload);
    } else if (entry.kind == ListedKind::UnreadableName) {
      // Skipped, the others go on.
      logFault("loadAnimations: unreadable file name", std::runtime_error(entry.problem));
    } else if (const std::string reason = loggedSkipReason(entry.kind); !reason.empty()) {
      descentLog().write("loadAnimations: skipped %s: %s", entry.fileName.c_str(), reason.c_str());
    }
  });
  if (error) logFault("loadAnimations", fs::filesystem_error("listing", fs::u8path(folder), error));
}

}  // namespace

void loadAnimations(Catalogue& catalogue, std::atomic<bool>& loaded, std::string_view folder) {
  guarded("loadAnimations", [&] { loadFolder(catalogue, std::string(folder)); });
  loaded.store(true);
}
