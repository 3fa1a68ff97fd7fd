#include "Server.h"

#include "StubControl.h"
#include "Win32Util.h"

#include <cwchar>
#include <string>
#include <vector>

namespace wordstub {

namespace {

std::wstring Lower(std::wstring s) {
    CharLowerBuffW(s.data(), static_cast<DWORD>(s.size()));
    return s;
}

// A scenario left behind by a test that has ended is no scenario at all.
bool OwnerAlive(HKEY key) {
    DWORD owner = 0;
    if (!ReadNumber(key, kOwnerValue, owner))
        return false;
    const UniqueKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, owner));
    return process && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
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
    const UniqueHkey key = OpenKey(HKEY_CURRENT_USER, kScenarioKey, false);
    if (!key || !OwnerAlive(key.get()))
        return;
    session_ = true;
    scenario_ = ReadScenario(key.get());
    std::wstring text;
    if (ReadText(key.get(), kJournalValue, text) && !text.empty())
        journal_ = OpenFile(text, FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_ALWAYS);
    if (const UniqueHkey processes = OpenKey(key.get(), kProcessesSubkey, true))
        WriteNumber(processes.get(), std::to_wstring(GetCurrentProcessId()).c_str(), 1);
    if (!scenario_.hangRelease.empty())
        release_.reset(OpenEventW(SYNCHRONIZE, FALSE, scenario_.hangRelease.c_str()));
}

bool Server::Released() const {
    return release_ && WaitForSingleObject(release_.get(), 0) == WAIT_OBJECT_0;
}

void Server::Journal(const std::wstring& line) {
    if (!journal_)
        return;
    const std::string bytes = ToUtf8(line) + "\n";
    DWORD written = 0;
    WriteFile(journal_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

int Server::Occurrence(const std::wstring& member) {
    // Kept in the registry so that the count runs across the processes of one test session.
    const UniqueHkey counts =
        OpenKey(HKEY_CURRENT_USER, std::wstring(kScenarioKey) + L"\\" + kCountsSubkey, true);
    DWORD n = 0;
    const std::wstring name = Lower(member);
    ReadNumber(counts.get(), name.c_str(), n);
    WriteNumber(counts.get(), name.c_str(), ++n);
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

bool Server::TurnAway(const std::wstring& member) {
    if (!session_)
        return false;
    const bool refused = TurnedAwayOnce(member) || TurnedAwayWhileBusy(member);
    if (!refused)
        ++taken_[member];
    return refused;
}

bool Server::TurnedAwayOnce(const std::wstring& member) {
    if (scenario_.busyOnce.empty())
        return false;
    const std::wstring site = member + L"#" + std::to_wstring(taken_[member] + 1);
    const std::wstring listed = L" " + scenario_.busyOnce + L" ";
    return listed.find(L" " + site + L" ") != std::wstring::npos && turnedAway_.insert(site).second;
}

bool Server::TurnedAwayWhileBusy(const std::wstring& member) {
    if (scenario_.busyCall == 0 || scenario_.busyTimes == 0)
        return false;
    if (!scenario_.busyMember.empty() && !SameName(member, scenario_.busyMember))
        return false;
    if (Released())
        return false;
    // The attempts turned away are the busy call's own retries: attempts busyCall to
    // busyCall + busyTimes - 1 are refused.
    const unsigned long long attempt = ++busyAttempts_;
    return attempt >= scenario_.busyCall &&
           attempt - scenario_.busyCall < static_cast<unsigned long long>(scenario_.busyTimes);
}

void Server::MaybeHang(const std::wstring& member, const std::wstring& what) {
    if (!session_ || scenario_.hangCall == 0)
        return;
    if (hung_) {
        if (scenario_.hangAfterMs > 0) {
            Journal(L"HANG " + what);
            Sleep(scenario_.hangAfterMs);
            Journal(L"HANG-END " + what + L" time up");
        }
        return;
    }
    const bool anyMember = scenario_.hangMember.empty();
    if (!anyMember && !SameName(member, scenario_.hangMember))
        return;
    if (Occurrence(L"hang:" + (anyMember ? std::wstring(L"*") : member)) !=
        static_cast<int>(scenario_.hangCall))
        return;
    Journal(L"HANG " + what);
    hung_ = true;
    // A plain wait: incoming calls, releases among them, queue up behind the hung one.
    const bool released =
        release_ ? WaitForSingleObject(release_.get(), scenario_.hangMs) == WAIT_OBJECT_0
                 : (Sleep(scenario_.hangMs), false);
    Journal(L"HANG-END " + what + (released ? L" released" : L" time up"));
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
