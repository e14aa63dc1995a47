#pragma once
// The checker's two ways of telling its prediction: plain text for people, JSON for tools.
#include <string>

#include "check/folder_check.h"

std::string formatText(const FolderPrediction& prediction);
std::string formatJson(const FolderPrediction& prediction);

// 0 when nothing would go wrong in the game, 1 when something would; with strict, likely
// mistakes count too.
int exitStatus(const FolderPrediction& prediction, bool strict);
