#include "png/animation_frames.h"
#include "inspect/sheet_choices.h"

#include <cstdint>

std::vector<SheetChoice> sheetChoices(const GifInspection& inspection) {
  const bool bothWays = inspection.disposalMatters();
  const std::vector<bool> disposalWays =
      bothWays ? std::vector<bool>{false, true} : std::vector<bool>{inspection.honourDisposal};
  std::vector<SheetChoice> choices;
  for (bool disposal : disposalWays)
    for (bool keep : {false, true}) {
      SheetChoice choice;
      choice.keepBackground = keep;
      choice.honourDisposal = disposal;
      choice.asInGame = keep == inspection.keepBackground && disposal == inspection.honourDisposal;
      choice.fileEnding = std::string(keep ? ".keep-background" : "") + (bothWays && disposal ? ".disposal" : "") + ".png";
      choice.label = keep ? "background kept" : "background transparent";
      if (bothWays) choice.label += disposal ? ", disposal=1: disposal methods honoured" : ", disposal methods ignored";
      if (choice.asInGame) choice.label += ", as in game";
      choices.push_back(choice);
    }
  return choices;
}

const FrameList& framesFor(const GifInspection& inspection, const SheetChoice& choice,
                           std::unique_ptr<FrameList>& other) {
  if (choice.honourDisposal == inspection.honourDisposal) return *inspection.frames;
  FrameOptions options = inspection.options();
  options.honourDisposal = choice.honourDisposal;
  other = loadAnimationFrames(inspection.path.c_str(), "", UINT64_MAX, options);
  return *other;
}
