// Windows paths as the program handles them: UTF-8 text with "\" separators. A "/" that a
// user typed counts as a separator too; ":" ends a drive ("C:name").
#pragma once

#include <string>

namespace mt {

// The file-name part: what follows the last "\", "/" or ":".
std::string FileNameOf(const std::string& path);
// The folder part without its trailing separator ("C:\a\b.txt" -> "C:\a", "C:\b" -> "C:");
// empty when the path has no folder part.
std::string FolderOf(const std::string& path);
// The extension of the file-name part, from its last "." to the end, dot included; empty when
// the name has no dot.
std::string ExtensionOf(const std::string& path);
// The folder without trailing backslashes, except the one of a root ("C:\", "\").
std::string WithoutTrailingBackslash(const std::string& folder);
// The folder that holds `path` (a trailing "\" of `path` ignored); a root keeps its backslash
// ("C:\a" -> "C:\", "\a" -> "\"); empty when there is none.
std::string ParentFolder(const std::string& path);
// `name` inside `folder`: one "\" between them, leading ones of `name` dropped.
std::string JoinPath(const std::string& folder, const std::string& name);
// The spelling two paths are compared in: "/" as "\", ASCII letters in lower case, as Windows
// names compare.
std::string PathKey(const std::string& path);
// True when two paths name the same place by spelling alone (see PathKey).
bool SamePathText(const std::string& a, const std::string& b);

}  // namespace mt
