#include "Server.h"

#include "StubControl.h"

#include <cwchar>
#include <string>
#include <vector>

namespace wordstub {

namespace {

class Key {
  public:
    Key(HKEY parent, const std::wstring& path, bool create) {
        if (create)
            RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                            nullptr);
        else
            RegOpenKeyExW(parent, path.c_str(), 0, KEY_ALL_ACCESS, &key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() {
        if (key_)
            RegCloseKey(key_);
    }
    explicit operator bool() const { return key_ != nullptr; }
    HKEY get() const { return key_; }

    bool Text(const wchar_t* name, std::wstring& out) const {
        DWORD type = 0, size = 0;
        if (RegQueryValueExW(key_, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
            type != REG_SZ)
            return false;
        std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
        if (RegQueryValueExW(key_, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()),
                             &size) != ERROR_SUCCESS)
            return false;
        out = buffer.data();
        return true;
    }
    bool Number(const wchar_t* name, DWORD& out) const {
        DWORD type = 0, size = sizeof(out);
        return RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(&out), &size) ==
                   ERROR_SUCCESS &&
               type == REG_DWORD;
    }
    void SetNumber(const wchar_t* name, DWORD value) const {
        RegSetValueExW(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof(value));
    }

  private:
    HKEY key_ = nullptr;
};

std::string ToUtf8(const std::wstring& text) {
    if (text.empty())
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

std::wstring Lower(std::wstring s) {
    CharLowerBuffW(s.data(), static_cast<DWORD>(s.size()));
    return s;
}

} // namespace

std::wstring HexCode(HRESULT hr) {
    wchar_t buffer[16];
    swprintf(buffer, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return buffer;
}

bool SameName(const std::wstring& a, const std::wstring& b) noexcept {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

Server& Server::Instance() {
    static Server server;
    return server;
}

void Server::Start() {
    thread_ = GetCurrentThreadId();
    Key key(HKEY_CURRENT_USER, kScenarioKey, false);
    if (!key)
        return;
    session_ = true;
    std::wstring text;
    DWORD number = 0;
    if (key.Text(kVersionValue, text))
        scenario_.version = text;
    if (key.Text(kLinesPageValue, text))
        scenario_.linesPage = std::wcstof(text.c_str(), nullptr);
    key.Text(kFailMemberValue, scenario_.failMember);
    key.Text(kFailDescriptionValue, scenario_.failDescription);
    key.Text(kCrashMemberValue, scenario_.crashMember);
    if (key.Number(kFailOccurrenceValue, number))
        scenario_.failOccurrence = static_cast<int>(number);
    if (key.Number(kFailCodeValue, number))
        scenario_.failCode = static_cast<HRESULT>(number);
    if (key.Number(kCrashOccurrenceValue, number))
        scenario_.crashOccurrence = static_cast<int>(number);
    if (key.Text(kJournalValue, text) && !text.empty())
        journal_ = CreateFileW(text.c_str(), FILE_APPEND_DATA,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    Key processes(key.get(), kProcessesSubkey, true);
    if (processes)
        processes.SetNumber(std::to_wstring(GetCurrentProcessId()).c_str(), 1);
}

void Server::Journal(const std::wstring& line) {
    if (journal_ == INVALID_HANDLE_VALUE)
        return;
    const std::string bytes = ToUtf8(line) + "\n";
    DWORD written = 0;
    WriteFile(journal_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

int Server::Occurrence(const std::wstring& member) {
    // Kept in the registry so that the count runs across the processes of one test session.
    Key counts(HKEY_CURRENT_USER, std::wstring(kScenarioKey) + L"\\" + kCountsSubkey, true);
    DWORD n = 0;
    const std::wstring name = Lower(member);
    counts.Number(name.c_str(), n);
    counts.SetNumber(name.c_str(), ++n);
    return static_cast<int>(n);
}

Fate Server::CountCall(const std::wstring& member) {
    if (!session_)
        return Fate::Normal;
    const bool crash = !scenario_.crashMember.empty() && SameName(member, scenario_.crashMember);
    const bool fail = !scenario_.failMember.empty() && SameName(member, scenario_.failMember);
    if (!crash && !fail)
        return Fate::Normal;
    const int n = Occurrence(member);
    if (crash && n == scenario_.crashOccurrence)
        return Fate::Crash;
    if (fail && n == scenario_.failOccurrence)
        return Fate::Fail;
    return Fate::Normal;
}

void Server::Crash(const std::wstring& what) {
    Journal(L"CRASH " + what);
    // No clean-up at all: the client must see the server vanish in the middle of a call.
    TerminateProcess(GetCurrentProcess(), 3);
    for (;;)
        Sleep(INFINITE);
}

void Server::ObjectCreated() noexcept {
    ++objects_;
    everCreated_ = true;
}

void Server::ObjectDestroyed() noexcept {
    --objects_;
    MaybeExit();
}

void Server::Lock(bool lock) noexcept {
    locks_ += lock ? 1 : -1;
    if (!lock)
        MaybeExit();
}

void Server::Quit() noexcept {
    if (quitting_)
        return;
    quitting_ = true;
    quitTimer_ = SetTimer(nullptr, 0, kQuitGraceMs, nullptr);
}

void Server::MaybeExit() noexcept {
    if (!exiting_ && everCreated_ && objects_ <= 0 && locks_ <= 0) {
        exiting_ = true;
        PostThreadMessageW(thread_, WM_QUIT, 0, 0);
    }
}

int Server::Run() {
    idleTimer_ = SetTimer(nullptr, 0, kIdleLimitMs, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == nullptr) {
            // Either the grace period after Quit, or a start with no client at all.
            if ((quitting_ && msg.wParam == quitTimer_) ||
                (!everCreated_ && msg.wParam == idleTimer_))
                break;
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    exiting_ = true;
    Journal(L"EXIT refs=" + std::to_wstring(objects_));
    return objects_;
}

} // namespace wordstub
