#include "WordStub.h"

#include "../../wordstub/StubControl.h"

#include <string>
#include <vector>

namespace {

using namespace wordstub;

void SetText(HKEY key, const wchar_t* name, const std::wstring& value) {
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void SetNumber(HKEY key, const wchar_t* name, DWORD value) {
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

void ClearScenario() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kScenarioKey);
}

std::wstring NewJournalPath() {
    static unsigned serial = 0;
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir) + L"wordstub-journal-" + std::to_wstring(GetCurrentProcessId()) +
           L"-" + std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(++serial) + L".log";
}

std::vector<DWORD> ServerProcesses() {
    std::vector<DWORD> ids;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER,
                      (std::wstring(kScenarioKey) + L"\\" + kProcessesSubkey).c_str(), 0, KEY_READ,
                      &key) != ERROR_SUCCESS)
        return ids;
    for (DWORD i = 0;; ++i) {
        wchar_t name[32];
        DWORD length = 32;
        if (RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        ids.push_back(static_cast<DWORD>(std::wcstoul(name, nullptr, 10)));
    }
    RegCloseKey(key);
    return ids;
}

} // namespace

StubSession::StubSession(const StubScenario& scenario) : journalPath_(NewJournalPath()) {
    ClearScenario();
    DeleteFileW(journalPath_.c_str());
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, kScenarioKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    if (!key)
        return;
    SetText(key, kJournalValue, journalPath_);
    SetText(key, kVersionValue, scenario.version);
    wchar_t lines[64];
    swprintf(lines, 64, L"%.9g", static_cast<double>(scenario.linesPage));
    SetText(key, kLinesPageValue, lines);
    if (!scenario.failMember.empty()) {
        SetText(key, kFailMemberValue, scenario.failMember);
        SetNumber(key, kFailOccurrenceValue, static_cast<DWORD>(scenario.failOccurrence));
        SetText(key, kFailDescriptionValue, scenario.failDescription);
        SetNumber(key, kFailCodeValue, static_cast<DWORD>(scenario.failCode));
    }
    if (!scenario.crashMember.empty()) {
        SetText(key, kCrashMemberValue, scenario.crashMember);
        SetNumber(key, kCrashOccurrenceValue, static_cast<DWORD>(scenario.crashOccurrence));
    }
    RegCloseKey(key);
    // The journal exists from the start, so that an empty one reads as no calls.
    HANDLE file = CreateFileW(journalPath_.c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
}

StubSession::~StubSession() {
    WaitForExit(5000);
    ClearScenario();
    DeleteFileW(journalPath_.c_str());
}

std::vector<std::wstring> StubSession::Journal() const {
    std::vector<std::wstring> lines;
    HANDLE file = CreateFileW(journalPath_.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return lines;
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        const std::string line = bytes.substr(start, end - start);
        std::wstring wide(line.size(), L'\0');
        const int n = MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()),
                                          wide.data(), static_cast<int>(wide.size()));
        wide.resize(n > 0 ? n : 0);
        lines.push_back(wide);
        start = end + 1;
    }
    return lines;
}

bool StubSession::WaitForExit(DWORD timeoutMs) const {
    const DWORD deadline = GetTickCount() + timeoutMs;
    for (DWORD id : ServerProcesses()) {
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
        if (!process)
            continue; // already gone
        const DWORD now = GetTickCount();
        const DWORD left = static_cast<LONG>(deadline - now) > 0 ? deadline - now : 0;
        const DWORD status = WaitForSingleObject(process, left);
        CloseHandle(process);
        if (status != WAIT_OBJECT_0)
            return false;
    }
    return true;
}

namespace {
std::wstring ProgIdKey() {
    return std::wstring(kClassesKey) + L"\\" + kProgId;
}
} // namespace

StubUnregistered::StubUnregistered() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (ProgIdKey() + L"\\CLSID").c_str(), 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        wchar_t value[64] = {};
        DWORD size = sizeof(value) - sizeof(wchar_t);
        if (RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(value),
                             &size) == ERROR_SUCCESS)
            saved_ = value;
        RegCloseKey(key);
    }
    HKEY classes = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kClassesKey, 0, KEY_ALL_ACCESS, &classes) ==
        ERROR_SUCCESS) {
        RegDeleteTreeW(classes, kProgId);
        RegCloseKey(classes);
    }
}

StubUnregistered::~StubUnregistered() {
    if (saved_.empty())
        return;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, (ProgIdKey() + L"\\CLSID").c_str(), 0, nullptr, 0,
                        KEY_WRITE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
        SetText(key, nullptr, saved_);
        RegCloseKey(key);
    }
}
