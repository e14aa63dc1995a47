#pragma once
// Names a modder probably meant: those that differ from the wanted one only in letter case or by
// a character or two (added, dropped or changed), closest first.
#include <string>
#include <vector>

std::vector<std::string> similarNames(const std::string& wanted, const std::vector<std::string>& known,
                                      std::size_t most = 3);
