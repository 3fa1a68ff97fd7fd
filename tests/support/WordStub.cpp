#include "WordStub.h"

#include "TestTime.h"
#include "Win32Util.h"

#include <tlhelp32.h>

#include <string>
#include <vector>

namespace {

using namespace wordstub;

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
    const UniqueHkey key = OpenKey(
        HKEY_CURRENT_USER, std::wstring(kScenarioKey) + L"\\" + kProcessesSubkey, false, KEY_READ);
    for (DWORD i = 0; key; ++i) {
        wchar_t name[32];
        DWORD length = 32;
        if (RegEnumValueW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        ids.push_back(static_cast<DWORD>(std::wcstoul(name, nullptr, 10)));
    }
    return ids;
}

// Every stand-in process of the Wine session (the test's slot), whoever started it.
std::vector<DWORD> RunningServers() {
    std::vector<DWORD> ids;
    const UniqueKernelHandle snapshot(
        NullIfInvalid(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0)));
    PROCESSENTRY32W entry{sizeof(entry)};
    for (BOOL more = snapshot && Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry))
        if (_wcsicmp(entry.szExeFile, L"WordStub.exe") == 0)
            ids.push_back(entry.th32ProcessID);
    return ids;
}

bool WaitForProcesses(const std::vector<DWORD>& ids, DWORD timeoutMs) {
    const DWORD deadline = GetTickCount() + TestTime(timeoutMs);
    for (DWORD id : ids) {
        const UniqueKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, id));
        if (!process)
            continue; // already gone
        const LONG left = static_cast<LONG>(deadline - GetTickCount());
        if (WaitForSingleObject(process.get(), left > 0 ? static_cast<DWORD>(left) : 0) !=
            WAIT_OBJECT_0)
            return false;
    }
    return true;
}

std::wstring ProgIdKey() {
    return std::wstring(kClassesKey) + L"\\" + kProgId;
}

} // namespace

StubSession::StubSession(const StubScenario& scenario) : journalPath_(NewJournalPath()) {
    // A stand-in on its way out may still be known to Wine's COM service for a while: the session
    // starts once none is left.
    WaitForProcesses(RunningServers(), 30000);
    ClearScenario();
    // The journal exists from the start, so that an empty one reads as no calls.
    OpenFile(journalPath_, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
             CREATE_ALWAYS);
    const UniqueHkey key = OpenKey(HKEY_CURRENT_USER, kScenarioKey, true);
    if (!key)
        return;
    WriteNumber(key.get(), kOwnerValue, GetCurrentProcessId());
    WriteText(key.get(), kJournalValue, journalPath_);
    StubScenario written = scenario;
    if (scenario.hangCall > 0 || scenario.busyCall > 0) {
        written.hangRelease = L"TablorinWordStubHang-" + std::to_wstring(GetCurrentProcessId()) +
                              L"-" + std::to_wstring(GetTickCount64());
        hangRelease_.reset(CreateEventW(nullptr, TRUE, FALSE, written.hangRelease.c_str()));
    }
    WriteScenario(key.get(), written);
}

void StubSession::EndHang() const {
    if (hangRelease_)
        SetEvent(hangRelease_.get());
}

StubSession::~StubSession() {
    EndHang(); // a stand-in still hung would keep its process, and the next session's counts
    WaitForExit(5000);
    ClearScenario();
    DeleteFileW(journalPath_.c_str());
}

std::vector<std::wstring> StubSession::Journal() const {
    std::vector<std::wstring> lines;
    const UniqueKernelHandle file =
        OpenFile(journalPath_, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                 OPEN_EXISTING);
    if (!file)
        return lines;
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof(buffer), &got, nullptr) && got > 0)
        bytes.append(buffer, got);
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
    return WaitForProcesses(ServerProcesses(), timeoutMs);
}

StubUnregistered::StubUnregistered() {
    if (const UniqueHkey key =
            OpenKey(HKEY_LOCAL_MACHINE, ProgIdKey() + L"\\CLSID", false, KEY_READ))
        ReadText(key.get(), nullptr, saved_);
    if (const UniqueHkey classes = OpenKey(HKEY_LOCAL_MACHINE, kClassesKey, false))
        RegDeleteTreeW(classes.get(), kProgId);
}

StubUnregistered::~StubUnregistered() {
    if (saved_.empty())
        return;
    if (const UniqueHkey key =
            OpenKey(HKEY_LOCAL_MACHINE, ProgIdKey() + L"\\CLSID", true, KEY_WRITE))
        WriteText(key.get(), nullptr, saved_);
}
