#pragma once
// The loader: the folder's GIFs made into the catalogue's animations.
#include <atomic>
#include <string_view>

#include "plugin/catalogue.h"

// Makes one animation per "<name>.gif" or "<name>.png" of folder (the PNG when both are there) (subfolders and other extensions skipped, the
// extension compared exactly) and stores true into loaded at the end, whatever happened. A file
// that cannot be made into an animation is reported with a message box and left out.
void loadAnimations(Catalogue& catalogue, std::atomic<bool>& loaded,
                    std::string_view folder = AnimationFolder);
