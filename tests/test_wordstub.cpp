// The Word stand-in driven through real COM from this process: registration, the application and
// its documents, name resolution, argument checking, the journal and the server's life.
#include "StubClient.h"
#include "WordStub.h"

#include "StubControl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

using namespace stubclient;

namespace {

std::wstring Text(const Var& v) {
    return V_VT(&v.v) == VT_BSTR ? std::wstring(V_BSTR(&v.v), SysStringLen(V_BSTR(&v.v))) : L"?";
}

// Once the session's stand-ins have exited, each of these lines is in its journal.
void ExpectJournalHas(const StubSession& session, std::initializer_list<const wchar_t*> lines) {
    ASSERT_TRUE(session.WaitForExit());
    const auto journal = session.Journal();
    for (const wchar_t* line : lines)
        EXPECT_NE(std::find(journal.begin(), journal.end(), line), journal.end()) << line;
}

// Word answers lengths as Singles: anything else is no number.
float Single(const Var& v) {
    return V_VT(&v.v) == VT_R4 ? V_R4(&v.v) : std::nanf("");
}

} // namespace

TEST(WordStubRegistration, ProgIdResolvesUntilUnregisteredAndComesBack) {
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(L"Word.Application", &clsid), S_OK);
    {
        StubUnregistered gone;
        CLSID none{};
        EXPECT_TRUE(FAILED(CLSIDFromProgID(L"Word.Application", &none)));
        HRESULT hr = S_OK;
        EXPECT_FALSE(CreateWord(&hr));
        EXPECT_TRUE(FAILED(hr));
    }
    CLSID again{};
    ASSERT_EQ(CLSIDFromProgID(L"Word.Application", &again), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, again));

    // A local server of its own, registered for the machine, that exists.
    wchar_t text[64] = {};
    StringFromGUID2(clsid, text, 64);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(
                  HKEY_LOCAL_MACHINE,
                  (std::wstring(L"Software\\Classes\\CLSID\\") + text + L"\\LocalServer32").c_str(),
                  0, KEY_READ, &key),
              ERROR_SUCCESS);
    wchar_t command[MAX_PATH * 2] = {};
    DWORD size = sizeof(command) - sizeof(wchar_t);
    EXPECT_EQ(
        RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(command), &size),
        ERROR_SUCCESS);
    RegCloseKey(key);
    std::wstring exe = command;
    exe.erase(std::remove(exe.begin(), exe.end(), L'"'), exe.end());
    EXPECT_NE(exe.find(L"WordStub.exe"), std::wstring::npos) << exe;
    EXPECT_NE(GetFileAttributesW(exe.c_str()), INVALID_FILE_ATTRIBUTES) << exe;
}

TEST(WordStubApplication, VersionIsTextAndTheServerLeavesWhenReleased) {
    StubSession session;
    {
        ComPtr<IDispatch> word = CreateWord();
        ASSERT_TRUE(word);
        EXPECT_EQ(Text(Call(word.Get(), L"Version", kGet).value), L"16.0"); // a VT_BSTR
    }
    ASSERT_TRUE(session.WaitForExit());
    EXPECT_EQ(session.Journal(),
              (std::vector<std::wstring>{L"CREATE Application", L"Application.Version method|get",
                                         L"EXIT refs=0"}));
}

TEST(WordStubApplication, ScenarioSetsVersionAndLinesPage) {
    StubSession session({.version = L"11.0", .linesPage = 40.0f});
    {
        ComPtr<IDispatch> word = CreateWord();
        ASSERT_TRUE(word);
        EXPECT_EQ(Text(Call(word.Get(), L"Version", DISPATCH_PROPERTYGET).value), L"11.0");
        ComPtr<IDispatch> setup =
            Object(Object(Object(word.Get(), L"Documents").Get(), L"Add").Get(), L"PageSetup");
        ASSERT_TRUE(setup);
        EXPECT_EQ(Single(Call(setup.Get(), L"LinesPage", kGet).value), 40.0f);
    }
    ASSERT_TRUE(session.WaitForExit());
    EXPECT_EQ(session.Journal().back(), L"EXIT refs=0");
}

TEST(WordStubApplication, DocumentsAddMakesTheActiveDocument) {
    StubSession session;
    {
        ComPtr<IDispatch> word = CreateWord();
        ASSERT_TRUE(word);
        // No document yet: Word refuses with its own description.
        CallResult none = Call(word.Get(), L"ActiveDocument", kGet);
        EXPECT_EQ(none.hr, DISP_E_EXCEPTION);
        EXPECT_FALSE(none.description.empty());
        ComPtr<IDispatch> docs = Object(word.Get(), L"Documents");
        ASSERT_TRUE(docs);
        ComPtr<IDispatch> added = Object(docs.Get(), L"Add");
        ASSERT_TRUE(added);
        ComPtr<IDispatch> active = Object(word.Get(), L"ActiveDocument");
        ASSERT_TRUE(active);
        ComPtr<IDispatch> setup = Object(active.Get(), L"PageSetup");
        EXPECT_EQ(Single(Call(setup.Get(), L"LinesPage", kGet).value), 36.0f);
        // The page of a new Japanese A4 document, in points.
        const std::pair<const wchar_t*, float> lengths[] = {
            {L"PageHeight", 841.9f}, {L"TopMargin", 99.25f}, {L"BottomMargin", 85.05f}};
        for (const auto& [member, points] : lengths)
            EXPECT_EQ(Single(Call(setup.Get(), member, kGet).value), points) << member;
        CallResult quit =
            Call(word.Get(), L"Quit", DISPATCH_METHOD, {{L"SaveChanges", Var::I4(0).v}});
        EXPECT_EQ(quit.hr, S_OK);
    }
    ExpectJournalHas(session, {L"Application.ActiveDocument method|get",
                               L"Documents.Add method|get", L"PageSetup.PageHeight method|get",
                               L"Application.Quit method SaveChanges=VT_I4:0"});
    EXPECT_EQ(session.Journal().back(), L"EXIT refs=0");
}

// Even when Word is slow to start, as under load: the creation right after one let go starts a
// Word of its own, and never finds the class unregistered.
TEST(WordStubApplication, EachCreationIsAProcessOfItsOwnSharingTheJournal) {
    StubSession session({.startMs = 1000});
    {
        ComPtr<IDispatch> first = CreateWord();
        ComPtr<IDispatch> second = CreateWord();
        ASSERT_TRUE(first && second);
        // A document in the first Word is not the second Word's active document.
        ASSERT_TRUE(Object(Object(first.Get(), L"Documents").Get(), L"Add"));
        EXPECT_EQ(Call(second.Get(), L"ActiveDocument", kGet).hr, DISP_E_EXCEPTION);
    }
    HRESULT hr = S_OK;
    EXPECT_TRUE(CreateWord(&hr)) << std::hex << hr;
    ASSERT_TRUE(session.WaitForExit());
    const auto journal = session.Journal();
    EXPECT_EQ(std::count(journal.begin(), journal.end(), L"CREATE Application"), 3);
    EXPECT_EQ(std::count(journal.begin(), journal.end(), L"EXIT refs=0"), 3);
}

TEST(WordStubNames, ResolvedWithoutRegardToCaseAndUnknownOnesRefused) {
    StubSession session;
    {
        ComPtr<IDispatch> word = CreateWord();
        ASSERT_TRUE(word);
        EXPECT_EQ(Text(Call(word.Get(), L"vErSiOn", kGet).value), L"16.0");

        std::wstring bad = L"Vesion";
        LPOLESTR names[] = {bad.data()};
        DISPID id = 0;
        EXPECT_EQ(word->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
        EXPECT_EQ(id, DISPID_UNKNOWN);

        // The member and its named arguments in one request; one unknown argument name fails it.
        std::wstring quit = L"QUIT", save = L"savechanges", wrong = L"Save";
        LPOLESTR good[] = {quit.data(), save.data()};
        DISPID ids[2] = {};
        EXPECT_EQ(word->GetIDsOfNames(IID_NULL, good, 2, 0, ids), S_OK);
        EXPECT_NE(ids[0], DISPID_UNKNOWN);
        EXPECT_NE(ids[1], DISPID_UNKNOWN);
        LPOLESTR mixed[] = {quit.data(), wrong.data()};
        EXPECT_EQ(word->GetIDsOfNames(IID_NULL, mixed, 2, 0, ids), DISP_E_UNKNOWNNAME);
        EXPECT_NE(ids[0], DISPID_UNKNOWN);
        EXPECT_EQ(ids[1], DISPID_UNKNOWN);

        // A DISPID nobody handed out.
        DISPPARAMS none{};
        EXPECT_EQ(word->Invoke(12345, IID_NULL, 0, kGet, &none, nullptr, nullptr, nullptr),
                  DISP_E_MEMBERNOTFOUND);
    }
    ExpectJournalHas(session,
                     {L"Application.Version method|get", L"Application.Vesion REJECTED 0x80020006",
                      L"Application.Quit REJECTED 0x80020006 Save",
                      L"Application.#12345 REJECTED 0x80020003"});
}

TEST(WordStubScenario, AScenarioLeftByAnEndedTestIsIgnored) {
    // A test process that ended without cleaning up (it crashed, or was killed).
    wchar_t command[] = L"cmd.exe /c exit 0";
    STARTUPINFOW si{sizeof(si)};
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                               nullptr, &si, &pi));
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    {
        StubSession session; // writes the key; then hand it to the dead process
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, wordstub::kScenarioKey, 0, KEY_ALL_ACCESS, &key),
                  ERROR_SUCCESS);
        const DWORD owner = pi.dwProcessId;
        RegSetValueExW(key, wordstub::kOwnerValue, 0, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&owner), sizeof(owner));
        const std::wstring version = L"9.9";
        RegSetValueExW(key, wordstub::kVersionValue, 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(version.c_str()),
                       static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);

        ComPtr<IDispatch> word = CreateWord();
        ASSERT_TRUE(word);
        EXPECT_EQ(Text(Call(word.Get(), L"Version", kGet).value), L"16.0");
        word.Reset();
        EXPECT_TRUE(session.Journal().empty());
    }
}
