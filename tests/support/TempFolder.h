#pragma once
// Folders for one test's files, under the temporary folder.

#include <filesystem>
#include <string>

// The folder of this name under the temporary folder, emptied first; throws when it cannot be made.
inline std::wstring MakeTempFolder(const std::wstring& name) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / name;
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir);
    return dir.wstring();
}
