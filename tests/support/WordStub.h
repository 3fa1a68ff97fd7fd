#pragma once
// Test-side control of the Word stand-in: the scenario it plays and the journal of calls it
// received.
//
// Journal: one line per call the stand-in receives, in order, UTF-8 text file:
//   CREATE Application
//       the class factory made the application object
//   <Object>.<Member> <kind> [<arg> ...]
//       one call. <Object>: Application Documents Document PageSetup Selection Range Shapes
//       Shape ShapeRange WrapFormat. <kind>: method | get | method|get | put | putref.
//       <arg>: [<Name>=]<VT>:<value>, in the order the client gave them (the reverse of
//       rgvarg); named arguments carry their name, positional ones none; a property put's value
//       is shown as positional. <VT> is VT_I4, VT_BOOL, VT_BSTR, VT_BSTR|VT_BYREF, VT_DISPATCH,
//       VT_R4, VT_R8 ...; values: integers in decimal, VT_BOOL as -1/0, texts in double quotes,
//       reals as printf's %g writes them, VT_DISPATCH as the object's kind (VT_DISPATCH:Range).
//       Examples: Application.Version get
//                 Selection.GoTo method What=VT_I4:3 Which=VT_I4:2 Count=VT_I4:1 Name=VT_BSTR:""
//                 WrapFormat.Type put VT_I4:3
//                 Shape.Height put VT_R8:219
//   FAIL <Object>.<Member> 0x<hresult> "<description>"
//       a scenario failure was returned for the line above
//   CRASH <Object>.<Member>
//       the scenario's abrupt exit, during the line above
//   EXIT refs=<n>
//       the server is exiting; n = objects the client still held
// A call a busy Word turned away (see StubScenario::busyCall and busyOnce) is journaled as
// "BUSY <Object>.<Member>", once per attempt, before the line of the attempt that is taken.
// A call at which Word hangs (see StubScenario::hangCall and hangAfterMs) has its own line, then
// "HANG <Object>.<Member>" when the block starts and "HANG-END <Object>.<Member> released" (the
// test ended it, StubSession::EndHang) or "HANG-END <Object>.<Member> time up" when it ends; the
// call then runs and answers, and its lines (a FAIL, say) follow.
// A call rejected before reaching the member (unknown name, bad arguments, wrong invocation kind, a
// call after Quit) is journaled as "<Object>.<Member> REJECTED 0x<hresult>"; for an unknown name
// the unknown names follow (e.g. "Application.Vesion REJECTED 0x80020006", "Selection.GoTo REJECTED
// 0x80020006 Wat"). Each client that creates "Word.Application" gets a stand-in process of its own;
// the processes of one session share its journal. The server exits when the client has released
// every object, or 3 seconds after Quit when it still holds some.

#include <windows.h>

#include "Handles.h"
#include "StubControl.h"

#include <string>
#include <vector>

// The scenario's hangRelease is the session's own (StubSession::EndHang sets it). Under Wine a
// client that gives up on a hung call still waits for its answer (and drops it), so a test that
// gives up ends the hang as its user answers.
using StubScenario = wordstub::Scenario;

// Sets the scenario for the stand-in processes started from now on and gives them a fresh journal,
// once every stand-in left from before has exited. The destructor puts the default scenario back.
// Only one session at a time.
class StubSession {
public:
    explicit StubSession(const StubScenario& scenario = {});
    StubSession(const StubSession&) = delete;
    StubSession& operator=(const StubSession&) = delete;
    ~StubSession();

    // The journal lines written so far.
    std::vector<std::wstring> Journal() const;
    // Waits until every stand-in process started in this session has exited; false on time-out.
    // A stand-in that has been let go exits at once, but with four test programs on two cores its
    // exit was seen to take over 10 s: the limit only bounds a stand-in that never goes.
    bool WaitForExit(DWORD timeoutMs = 30000) const;
    // The journal file (Windows path).
    const std::wstring& JournalPath() const { return journalPath_; }
    // Ends a hang of the scenario, in progress or still to come: the call answers at once. A
    // busy Word takes calls from then on.
    void EndHang() const;

private:
    std::wstring journalPath_;
    UniqueKernelHandle hangRelease_;
};

// Makes "Word.Application" unresolvable while it lives (as on a machine without Word).
class StubUnregistered {
public:
    StubUnregistered();
    StubUnregistered(const StubUnregistered&) = delete;
    StubUnregistered& operator=(const StubUnregistered&) = delete;
    ~StubUnregistered();

private:
    std::wstring saved_; // the class id the identifier named
};
