#pragma once
// Process-wide state of one stand-in run: the scenario a test left, the journal, and the count of
// objects the client holds (the server exits when it drops to zero).

#include "StubControl.h"
#include "Win32Util.h"

#include <windows.h>

#include <map>
#include <set>
#include <string>

namespace wordstub {

enum class Fate { Normal, Fail, Crash };

class Server {
public:
    static Server& Instance();

    // Reads the scenario a test left in the registry; without one, the defaults and no journal.
    void Start();
    const Scenario& scenario() const { return scenario_; }

    // Appends one line to the journal (when a test asked for one).
    void Journal(const std::wstring& line);
    // Counts a call that reached its member and tells whether the scenario wants it to fail or
    // crash.
    Fate CountCall(const std::wstring& member);
    [[noreturn]] void Crash(const std::wstring& what);
    // Counts an attempt at a call and tells whether a busy Word turns it away.
    bool TurnAway(const std::wstring& member);
    // Counts a call that reached its member and blocks it when the scenario hangs Word there:
    // nothing else is served meanwhile, as when Word sits on a dialog of its own.
    void MaybeHang(const std::wstring& member, const std::wstring& what);

    void ObjectCreated() noexcept;
    void ObjectDestroyed() noexcept;
    void Lock(bool lock) noexcept;
    int LiveObjects() const noexcept { return objects_; }

    // Word was told to quit: leave once the client lets go, or after a grace period.
    void Quit() noexcept;
    bool Quitting() const noexcept { return quitting_; }
    static constexpr UINT kQuitGraceMs = 3000;
    static constexpr UINT kIdleLimitMs = 60000;

    // Runs the message loop until there is nothing left to serve; returns the objects still held.
    int Run();

private:
    Server() = default;
    void MaybeExit() noexcept;
    int Occurrence(const std::wstring& member);
    bool TurnedAwayOnce(const std::wstring& member);
    bool TurnedAwayWhileBusy(const std::wstring& member);
    // The test has ended the hang, or the busy spell.
    bool Released() const;

    Scenario scenario_;
    UniqueKernelHandle journal_;
    UniqueKernelHandle release_; // the scenario's hangRelease event
    bool hung_ = false;          // the scenario's hang has come
    bool session_ = false;
    DWORD thread_ = 0;
    int objects_ = 0;
    unsigned long long busyAttempts_ = 0;
    std::map<std::wstring, int> taken_; // calls taken, by member
    std::set<std::wstring> turnedAway_; // of the busyOnce calls
    int locks_ = 0;
    bool everCreated_ = false;
    bool quitting_ = false;
    bool exiting_ = false;
    UINT_PTR quitTimer_ = 0;
    UINT_PTR idleTimer_ = 0;
};

// Case-insensitive comparison of member and argument names, as Word resolves them.
bool SameName(const std::wstring& a, const std::wstring& b) noexcept;
// An HRESULT as the journal shows it: 0x and eight hexadecimal digits.
std::wstring HexCode(HRESULT hr);

} // namespace wordstub
