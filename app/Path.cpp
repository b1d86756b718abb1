#include "app/Path.h"

namespace mt {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Where the file-name part starts. UTF-8 continuation bytes are all >= 0x80, so a byte that
// reads "\" is always a separator.
size_t NameStart(const std::string& path) {
  size_t i = path.size();
  while (i > 0 && !IsSeparator(path[i - 1]) && path[i - 1] != ':') --i;
  return i;
}

// "C:\" and "\" are roots: their backslash belongs to them.
bool IsRoot(const std::string& path) {
  return path == "\\" || (path.size() == 3 && path[1] == ':' && path[2] == '\\');
}

}  // namespace

std::string FileNameOf(const std::string& path) { return path.substr(NameStart(path)); }

std::string FolderOf(const std::string& path) {
  size_t start = NameStart(path);
  if (start > 0 && IsSeparator(path[start - 1])) --start;
  return path.substr(0, start);
}

std::string ExtensionOf(const std::string& path) {
  std::string name = FileNameOf(path);
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string WithoutTrailingBackslash(const std::string& folder) {
  std::string p = folder;
  while (p.size() > 1 && p.back() == '\\' && !IsRoot(p)) p.pop_back();
  return p;
}

std::string ParentFolder(const std::string& path) {
  std::string p = WithoutTrailingBackslash(path);
  size_t i = p.find_last_of("\\:");
  if (i == std::string::npos) return std::string();
  if (i > 0 && p[i] == '\\' && p[i - 1] != '\\' && p[i - 1] != ':') return p.substr(0, i);
  return p.substr(0, i + 1);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  size_t start = 0;
  while (start < name.size() && name[start] == '\\') ++start;
  if (folder.empty() || folder.back() == '\\') return folder + name.substr(start);
  return folder + "\\" + name.substr(start);
}

std::string PathKey(const std::string& path) {
  std::string key = path;
  for (char& c : key) {
    if (c == '/') c = '\\';
    else if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return key;
}

bool SamePathText(const std::string& a, const std::string& b) { return PathKey(a) == PathKey(b); }

}  // namespace mt
