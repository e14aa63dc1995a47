#pragma once
// The contact sheets the inspect tool writes for one GIF: the background colour transparent and
// kept and, where disposal=1 changes the frames, each both without and with it, so that one of
// them is what the game shows with the file's settings.
#include <memory>
#include <string>
#include <vector>

#include "inspect/gif_inspection.h"

struct SheetChoice {
  bool keepBackground = false;
  bool honourDisposal = false;
  bool asInGame = false;   // what the game shows with the file's settings
  std::string fileEnding;  // after the GIF's stem: ".png", ".keep-background.disposal.png", ...
  std::string label;       // "background transparent, disposal=1: disposal methods honoured, as in game"
};

std::vector<SheetChoice> sheetChoices(const GifInspection& inspection);

// The frames a sheet shows: the inspection's own where they are composed the same way, else the
// file loaded again into `other`.
const FrameList& framesFor(const GifInspection& inspection, const SheetChoice& choice,
                           std::unique_ptr<FrameList>& other);
