#pragma once
// Registry values and files through owning handles, for the stand-in and the test helpers that
// set its scenario.

#include <windows.h>

#include "Error.h"
#include "Handles.h"

#include <string>
#include <vector>

namespace wordstub {

inline UniqueHkey OpenKey(HKEY root, const std::wstring& path, bool create,
                          REGSAM access = KEY_ALL_ACCESS) {
    UniqueHkey key;
    const LSTATUS status = create ? RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, access,
                                                    nullptr, key.put(), nullptr)
                                  : RegOpenKeyExW(root, path.c_str(), 0, access, key.put());
    if (status != ERROR_SUCCESS)
        key.reset();
    return key;
}

inline bool ReadText(HKEY key, const wchar_t* name, std::wstring& out) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()),
                         &size) != ERROR_SUCCESS)
        return false;
    out = buffer.data();
    return true;
}

inline bool ReadNumber(HKEY key, const wchar_t* name, DWORD& out) {
    DWORD type = 0, size = sizeof(out);
    return RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&out), &size) ==
               ERROR_SUCCESS &&
           type == REG_DWORD;
}

inline bool WriteText(HKEY key, const wchar_t* name, const std::wstring& value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) ==
           ERROR_SUCCESS;
}

inline bool WriteNumber(HKEY key, const wchar_t* name, DWORD value) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof(value)) == ERROR_SUCCESS;
}

// An open file, or an empty handle (GetLastError tells why).
inline UniqueKernelHandle OpenFile(const std::wstring& path, DWORD access, DWORD share,
                                   DWORD disposition) {
    return UniqueKernelHandle(NullIfInvalid(CreateFileW(
        path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr)));
}

} // namespace wordstub
