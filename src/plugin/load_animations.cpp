#include <exception>
#include <filesystem>
#include <memory>
#include <string>

#include "plugin/animation.h"
#include "plugin/catalogue.h"
#include "plugin/fault_report.h"
#include "plugin/message_box.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view GifExtension = ".gif";

void addAnimation(Catalogue& catalogue, const std::string& folder, std::string name, int& count) {
  try {
    name.erase(name.size() - GifExtension.size());
    auto animation = std::make_unique<Animation>(folder + "/" + name, count < PreloadedAnimations);
    catalogue[name] = animation.release();  // lives until the process ends
    ++count;
  } catch (const std::exception& e) {
    messageBox(e.what(), "Can't load animation " + name);
  }
}

void loadFolder(Catalogue& catalogue, const std::string& folder) {
  int count = 0;
  std::error_code error;
  fs::directory_iterator entries(fs::u8path(folder), error);
  // A listing that fails part way stops the loading; what was made so far stays.
  for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
    const fs::directory_entry& entry = *entries;
    std::error_code typeError;
    if (entry.is_directory(typeError)) continue;
    std::string name;
    try {
      if (entry.path().extension().u8string() != GifExtension) continue;
      name = entry.path().filename().u8string();
    } catch (const std::exception& e) {
      logFault("loadAnimations: unreadable file name", e);  // skipped, the others go on
      continue;
    }
    addAnimation(catalogue, folder, std::move(name), count);
  }
  if (error) logFault("loadAnimations", fs::filesystem_error("listing", fs::u8path(folder), error));
}

}  // namespace

void loadAnimations(Catalogue& catalogue, std::atomic<bool>& loaded, std::string_view folder) {
  guarded("loadAnimations", [&] { loadFolder(catalogue, std::string(folder)); });
  loaded.store(true);
}
