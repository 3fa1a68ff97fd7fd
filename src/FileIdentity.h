#pragma once
// Whether a path names one of a list's files, whatever way either takes there.

#include <string>
#include <vector>

// True when path names an existing file that one of files names too: the same path under other
// letter case, short names, "." and "..", or another route to the same file (another drive
// letter, a share, a hard link, a "\\?\" form). A path that names no file is none of them.
bool SameFileAsAny(const std::wstring& path, const std::vector<std::wstring>& files);
