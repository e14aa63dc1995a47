#include <exception>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "plugin/animation.h"
#include "plugin/catalogue.h"
#include "plugin/fault_report.h"
#include "plugin/folder_listing.h"
#include "plugin/message_box.h"

namespace fs = std::filesystem;

namespace {

void addAnimation(Catalogue& catalogue, const std::string& folder, const std::string& name,
                  PreloadBudget& preload) {
  try {
    auto animation =
        std::make_unique<Animation>(animationBase(folder, name), preload.nextIsPreloaded());
    catalogue[name] = animation.release();  // deleted with the texture manager
    preload.made();
  } catch (const std::exception& e) {
    messageBox(loadFailureText(e, animationBase(folder, name) + ".gif"), loadFailureCaption(name));
  }
}

void loadFolder(Catalogue& catalogue, const std::string& folder) {
  PreloadBudget preload;
  // A listing that fails part way stops the loading; what was made so far stays.
  const std::error_code error = listAnimationFolder(folder, [&](const ListedEntry& entry) {
    if (entry.kind == ListedKind::Animation) {
      addAnimation(catalogue, folder, entry.textureName, preload);
    } else if (entry.kind == ListedKind::UnreadableName) {
      // Skipped, the others go on.
      logFault("loadAnimations: unreadable file name", std::runtime_error(entry.problem));
    }
  });
  if (error) logFault("loadAnimations", fs::filesystem_error("listing", fs::u8path(folder), error));
}

}  // namespace

void loadAnimations(Catalogue& catalogue, std::atomic<bool>& loaded, std::string_view folder) {
  guarded("loadAnimations", [&] { loadFolder(catalogue, std::string(folder)); });
  loaded.store(true);
}
