#pragma once
// What the Word stand-in and the test helpers agree on: its class, its registration, the scenario a
// test sets and where it leaves it for the next stand-in process (the registry of the prefix, so
// that nothing depends on the environment the server is started with).

#include "Win32Util.h"

#include <windows.h>

#include <cwchar>
#include <string>

namespace wordstub {

// Our own class id, registered under the programmatic identifier "Word.Application".
inline constexpr CLSID kClassId = {
    0xcf202b35, 0xd27d, 0x4ffc, {0x99, 0x6d, 0x1c, 0x47, 0xb3, 0xae, 0x4d, 0x76}};
inline constexpr wchar_t kClassIdText[] = L"{CF202B35-D27D-4FFC-996D-1C47B3AE4D76}";
inline constexpr wchar_t kProgId[] = L"Word.Application";
inline constexpr wchar_t kClassesKey[] = L"Software\\Classes"; // under HKEY_LOCAL_MACHINE

// Under HKEY_CURRENT_USER. Absent: the default scenario and no journal.
inline constexpr wchar_t kScenarioKey[] = L"Software\\TablorinWordStub\\Scenario";
inline constexpr wchar_t kProcessesSubkey[] = L"Processes"; // one value per server process id
inline constexpr wchar_t kCountsSubkey[] =
    L"Counts"; // calls so far to the failing/crashing/hanging member

inline constexpr wchar_t kOwnerValue[] =
    L"Owner"; // process id of the test; its scenario dies with it
inline constexpr wchar_t kJournalValue[] = L"Journal";
inline constexpr wchar_t kVersionValue[] = L"Version";
inline constexpr wchar_t kLinesPageValue[] = L"LinesPage"; // text, e.g. "36"
inline constexpr wchar_t kFailMemberValue[] = L"FailMember";
inline constexpr wchar_t kFailOccurrenceValue[] = L"FailOccurrence";
inline constexpr wchar_t kFailDescriptionValue[] = L"FailDescription";
inline constexpr wchar_t kFailCodeValue[] = L"FailCode";
inline constexpr wchar_t kCrashMemberValue[] = L"CrashMember";
inline constexpr wchar_t kCrashOccurrenceValue[] = L"CrashOccurrence";
inline constexpr wchar_t kBusyMemberValue[] = L"BusyMember"; // empty or absent: any member
inline constexpr wchar_t kBusyCallValue[] = L"BusyCall";
inline constexpr wchar_t kBusyTimesValue[] = L"BusyTimes";
inline constexpr wchar_t kBusyOnceValue[] = L"BusyOnce";
inline constexpr wchar_t kHangMemberValue[] = L"HangMember"; // empty or absent: any member
inline constexpr wchar_t kHangCallValue[] = L"HangCall";
inline constexpr wchar_t kHangTimeValue[] = L"HangTime";       // milliseconds, or INFINITE
inline constexpr wchar_t kHangReleaseValue[] = L"HangRelease"; // name of the event that ends it
inline constexpr wchar_t kStartTimeValue[] = L"StartTime";     // milliseconds
inline constexpr wchar_t kHangAfterValue[] = L"HangAfter";     // milliseconds

struct Scenario {
    std::wstring version = L"16.0"; // Application.Version
    float linesPage = 36.0f;        // PageSetup.LinesPage
    // A call that fails: member name (e.g. L"AddPicture") and its 1-based occurrence among the
    // calls to it that reach the member, counted across the stand-in processes of the session.
    std::wstring failMember;
    int failOccurrence = 1;
    // With a description: DISP_E_EXCEPTION carrying it (and failCode as EXCEPINFO.scode when set).
    // Without one: failCode is returned as the call's HRESULT (DISP_E_EXCEPTION with an empty
    // description when failCode is DISP_E_EXCEPTION).
    std::wstring failDescription;
    HRESULT failCode = 0;
    // A call at which the server process exits abruptly, as if Word crashed.
    std::wstring crashMember;
    int crashOccurrence = 1;
    // Word is busy: Invoke returns RPC_E_CALL_REJECTED to busyTimes attempts from the busyCall-th
    // on (1-based), counting the attempts at busyMember (at any member when empty) in each
    // stand-in process, refused ones included. A client that retries sees its call number busyCall
    // refused busyTimes times and then taken; or taken once the event named hangRelease is set.
    std::wstring busyMember;
    DWORD busyCall = 0;
    DWORD busyTimes = 0;
    // Calls turned away once each, as "Member#N" separated by spaces, the member spelt as Word
    // does: N counts the calls to Member that the stand-in process took, so each listed call is
    // refused once and then taken.
    std::wstring busyOnce;
    // Word hangs, as on a dialog of its own that nobody sees: call number hangCall (1-based) among
    // those that reach hangMember (any member when empty), counted across the stand-in processes
    // of the session, blocks hangMs milliseconds or until the event named hangRelease is set, then
    // answers. The stand-in serves nothing meanwhile: further calls and releases wait behind it.
    std::wstring hangMember;
    DWORD hangCall = 0;
    DWORD hangMs = INFINITE;
    std::wstring hangRelease;
    // Word slow to start: each stand-in process waits this long before it offers its class.
    DWORD startMs = 0;
    // Word stays hung: once the hung call has answered, every later call that reaches a member
    // blocks hangAfterMs milliseconds before it answers. 0: Word is itself again.
    DWORD hangAfterMs = 0;
};

// Only what differs from no failure, no crash, no busy, no hung and no slow Word is written.
inline void WriteScenario(HKEY key, const Scenario& scenario) {
    WriteText(key, kVersionValue, scenario.version);
    wchar_t lines[64];
    swprintf(lines, 64, L"%.9g", static_cast<double>(scenario.linesPage));
    WriteText(key, kLinesPageValue, lines);
    if (!scenario.failMember.empty()) {
        WriteText(key, kFailMemberValue, scenario.failMember);
        WriteNumber(key, kFailOccurrenceValue, static_cast<DWORD>(scenario.failOccurrence));
        WriteText(key, kFailDescriptionValue, scenario.failDescription);
        WriteNumber(key, kFailCodeValue, static_cast<DWORD>(scenario.failCode));
    }
    if (scenario.busyCall > 0) {
        WriteText(key, kBusyMemberValue, scenario.busyMember);
        WriteNumber(key, kBusyCallValue, scenario.busyCall);
        WriteNumber(key, kBusyTimesValue, scenario.busyTimes);
    }
    if (!scenario.busyOnce.empty())
        WriteText(key, kBusyOnceValue, scenario.busyOnce);
    if (scenario.hangCall > 0) {
        WriteText(key, kHangMemberValue, scenario.hangMember);
        WriteNumber(key, kHangCallValue, scenario.hangCall);
        WriteNumber(key, kHangTimeValue, scenario.hangMs);
        WriteText(key, kHangReleaseValue, scenario.hangRelease);
        WriteNumber(key, kHangAfterValue, scenario.hangAfterMs);
    } else if (scenario.busyCall > 0) {
        WriteText(key, kHangReleaseValue, scenario.hangRelease);
    }
    if (!scenario.crashMember.empty()) {
        WriteText(key, kCrashMemberValue, scenario.crashMember);
        WriteNumber(key, kCrashOccurrenceValue, static_cast<DWORD>(scenario.crashOccurrence));
    }
    if (scenario.startMs > 0)
        WriteNumber(key, kStartTimeValue, scenario.startMs);
}

// What is not there keeps its default.
inline Scenario ReadScenario(HKEY key) {
    Scenario scenario;
    std::wstring text;
    DWORD number = 0;
    ReadText(key, kVersionValue, scenario.version);
    if (ReadText(key, kLinesPageValue, text))
        scenario.linesPage = std::wcstof(text.c_str(), nullptr);
    ReadText(key, kFailMemberValue, scenario.failMember);
    if (ReadNumber(key, kFailOccurrenceValue, number))
        scenario.failOccurrence = static_cast<int>(number);
    ReadText(key, kFailDescriptionValue, scenario.failDescription);
    if (ReadNumber(key, kFailCodeValue, number))
        scenario.failCode = static_cast<HRESULT>(number);
    ReadText(key, kBusyMemberValue, scenario.busyMember);
    ReadNumber(key, kBusyCallValue, scenario.busyCall);
    ReadNumber(key, kBusyTimesValue, scenario.busyTimes);
    ReadText(key, kBusyOnceValue, scenario.busyOnce);
    ReadText(key, kHangMemberValue, scenario.hangMember);
    ReadNumber(key, kHangCallValue, scenario.hangCall);
    ReadNumber(key, kHangTimeValue, scenario.hangMs);
    ReadText(key, kHangReleaseValue, scenario.hangRelease);
    ReadNumber(key, kHangAfterValue, scenario.hangAfterMs);
    ReadText(key, kCrashMemberValue, scenario.crashMember);
    if (ReadNumber(key, kCrashOccurrenceValue, number))
        scenario.crashOccurrence = static_cast<int>(number);
    ReadNumber(key, kStartTimeValue, scenario.startMs);
    return scenario;
}

} // namespace wordstub
