#pragma once
// What the Word stand-in and the test helpers agree on: its class, its registration and where a
// test leaves the scenario for the next stand-in process (the registry of the prefix, so that
// nothing depends on the environment the server is started with).

#include <windows.h>

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
inline constexpr wchar_t kHangMemberValue[] = L"HangMember"; // empty or absent: any member
inline constexpr wchar_t kHangCallValue[] = L"HangCall";
inline constexpr wchar_t kHangTimeValue[] = L"HangTime";       // milliseconds, or INFINITE
inline constexpr wchar_t kHangReleaseValue[] = L"HangRelease"; // name of the event that ends it

} // namespace wordstub
