#include "plugin/raw_folder.h"

#include <windows.h>

#include <vector>

namespace {

std::wstring wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), size);
  return out;
}

std::string utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

// "\\?\C:\...\folder\" : no device names, no trimming of trailing dots and spaces.
std::wstring verbatim(const std::filesystem::path& folder) {
  std::wstring path = std::filesystem::absolute(folder).make_preferred().wstring();
  if (path.rfind(L"\\\\?\\", 0) != 0) path = L"\\\\?\\" + path;
  if (path.back() != L'\\') path += L'\\';
  return path;
}

std::string readFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<unreadable>";
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(file);
  return bytes;
}

template <typename Visit>
void forEachEntry(const std::wstring& folder, Visit visit) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") visit(name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

void removeVerbatim(const std::wstring& folder) {
  forEachEntry(folder, [&](const std::wstring& name, bool isFolder) {
    if (isFolder)
      removeVerbatim(folder + name + L"\\");
    else
      DeleteFileW((folder + name).c_str());
  });
  RemoveDirectoryW(folder.c_str());
}

}  // namespace

namespace RawFolder {

bool write(const std::filesystem::path& folder, const std::string& utf8Name, const std::string& bytes) {
  CreateDirectoryW(verbatim(folder).c_str(), nullptr);
  HANDLE file = CreateFileW((verbatim(folder) + wide(utf8Name)).c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = bytes.empty() || (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                                    written == bytes.size());
  CloseHandle(file);
  return ok;
}

std::map<std::string, std::string> readAll(const std::filesystem::path& folder) {
  std::map<std::string, std::string> files;
  const std::wstring base = verbatim(folder);
  forEachEntry(base, [&](const std::wstring& name, bool isFolder) {
    if (!isFolder) files[utf8(name)] = readFile(base + name);
  });
  return files;
}

void removeTree(const std::filesystem::path& folder) { removeVerbatim(verbatim(folder)); }

}  // namespace RawFolder
