#pragma once
// The files of one folder by their exact names, through "\\?\" paths: there a name that Windows
// keeps for a device (aux.gif, con.gif) or one that ends in a dot is a plain file, as it is for a
// player who copied it from another system. Opening such a name the ordinary way opens the
// device, which may never return.
#include <filesystem>
#include <map>
#include <string>

namespace RawFolder {

// Writes bytes exactly as given into folder/utf8Name; false on failure.
bool write(const std::filesystem::path& folder, const std::string& utf8Name, const std::string& bytes);

// Every file directly in folder: UTF-8 name -> bytes (sub-folders are left out).
std::map<std::string, std::string> readAll(const std::filesystem::path& folder);

// Removes folder and everything below it.
void removeTree(const std::filesystem::path& folder);

}  // namespace RawFolder
