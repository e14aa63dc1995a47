#pragma once
// Where pick mode saves a texture's picture: <folder>/<name>.png, never over a file that is
// there (<name>-2.png, <name>-3.png, ...). Characters Windows refuses in a file name become '_',
// and a name Windows takes for a device (con, aux, ...) gets a '_' after it.
#include <functional>
#include <string>

std::string pickedFileName(const std::string& folder, const std::string& textureName,
                           const std::function<bool(const std::string&)>& taken);
