#include "FileIdentity.h"

#include "Handles.h"

#include <windows.h>

namespace {

// A path API's answer in a buffer grown to the length it asks for; empty when it fails.
template <class F> std::wstring Grown(F call) {
    std::wstring text(MAX_PATH, L'\0');
    DWORD n = call(text.data(), static_cast<DWORD>(text.size()));
    if (n >= text.size()) {
        text.resize(n);
        n = call(text.data(), n);
    }
    text.resize(n < text.size() ? n : 0);
    return text;
}

// A path as the file system resolves it: full, without "." and "..", and with long names for
// short (8.3) ones when the file exists. Unchanged when it cannot be resolved.
std::wstring ResolvedPath(const std::wstring& path) {
    const std::wstring full = Grown([&](wchar_t* buffer, DWORD size) {
        return GetFullPathNameW(path.c_str(), size, buffer, nullptr);
    });
    if (full.empty())
        return path;
    // Generated short names always hold a "~"; other paths are long already.
    if (full.find(L'~') == std::wstring::npos)
        return full;
    const std::wstring longer = Grown(
        [&](wchar_t* buffer, DWORD size) { return GetLongPathNameW(full.c_str(), buffer, size); });
    return longer.empty() ? full : longer;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    const std::wstring first = ResolvedPath(a), second = ResolvedPath(b);
    // The file system ignores case the way an ordinal comparison does, whatever the locale.
    return CompareStringOrdinal(first.c_str(), static_cast<int>(first.size()), second.c_str(),
                                static_cast<int>(second.size()), TRUE) == CSTR_EQUAL;
}

// Which file a path names, whatever way it takes there (another drive letter for the same folder,
// a share, a link, a "\\?\" form): its volume and its index on that volume.
struct FileIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    bool operator==(const FileIdentity&) const = default;
};

enum class Lookup { Found, Missing, Unknown };

// Opened with no access at all and sharing everything, so that neither a file in use nor one
// without read permission is in the way; backup semantics open folders too.
Lookup IdentityOf(const std::wstring& path, FileIdentity& identity) {
    const UniqueKernelHandle file(NullIfInvalid(
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)));
    if (!file) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Lookup::Missing
                                                                              : Lookup::Unknown;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file.get(), &info))
        return Lookup::Unknown;
    identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return Lookup::Found;
}

} // namespace

bool SameFileAsAny(const std::wstring& path, const std::vector<std::wstring>& files) {
    FileIdentity target;
    const Lookup found = IdentityOf(path, target);
    // A name that names no file yet is none of theirs, whatever its text.
    if (found == Lookup::Missing)
        return false;
    for (const std::wstring& file : files) {
        FileIdentity entry;
        if (found == Lookup::Found && IdentityOf(file, entry) == Lookup::Found) {
            if (entry == target)
                return true;
        } else if (SamePath(path, file)) {
            return true;
        }
    }
    return false;
}
