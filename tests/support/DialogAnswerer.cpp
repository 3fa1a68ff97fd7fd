#include "DialogAnswerer.h"

#include "Error.h"
#include "TestTime.h"
#include "WindowText.h"

#include <dlgs.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>

namespace {

std::wstring ClassName(HWND hwnd) {
    wchar_t buf[64] = {};
    GetClassNameW(hwnd, buf, 64);
    return buf;
}

// The first window an enumeration gives that matches.
struct Search {
    std::function<bool(HWND)> matches;
    HWND found = nullptr;
};

BOOL CALLBACK SearchProc(HWND hwnd, LPARAM lp) {
    auto* s = reinterpret_cast<Search*>(lp);
    if (!s->matches(hwnd))
        return TRUE;
    s->found = hwnd;
    return FALSE;
}

BOOL CALLBACK CollectProc(HWND child, LPARAM lp) {
    auto* seen = reinterpret_cast<DialogSeen*>(lp);
    const std::wstring cls = ClassName(child);
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    if (!IsWindowVisible(child))
        return TRUE;
    if (_wcsicmp(cls.c_str(), L"Static") == 0) {
        const std::wstring text = TextOf(child);
        if (!text.empty() && (style & SS_TYPEMASK) != SS_ICON) {
            if (!seen->text.empty())
                seen->text += L"\n";
            seen->text += text;
        }
    } else if (_wcsicmp(cls.c_str(), L"Button") == 0) {
        const LONG type = style & BS_TYPEMASK;
        if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON)
            seen->buttons.push_back(TextOf(child));
    }
    return TRUE;
}

// A shown button captioned so, with or without its mnemonic mark.
bool IsButtonCaptioned(HWND child, const std::wstring& caption) {
    if (_wcsicmp(ClassName(child).c_str(), L"Button") != 0 || !IsWindowVisible(child))
        return false;
    const std::wstring text = TextOf(child);
    std::wstring plain;
    for (wchar_t c : text)
        if (c != L'&')
            plain += c;
    return text == caption || plain == caption;
}

// The file name field of the system's save dialog.
HWND FileNameField(HWND dialog) {
    if (HWND combo = GetDlgItem(dialog, cmb13)) {
        if (HWND edit = FindWindowExW(combo, nullptr, L"Edit", nullptr))
            return edit;
        return combo;
    }
    return GetDlgItem(dialog, edt1);
}

void PostKey(DWORD threadId, HWND dialog, UINT vk) {
    GUITHREADINFO gti{sizeof(gti)};
    HWND target = dialog;
    if (GetGUIThreadInfo(threadId, &gti) && gti.hwndFocus)
        target = gti.hwndFocus;
    PostMessageW(target, WM_KEYDOWN, vk, 1);
    PostMessageW(target, WM_KEYUP, vk, 0xC0000001);
}

// The answerers alive in the process.
std::mutex liveMutex;
std::vector<DialogAnswerer*> live;

} // namespace

HWND FindThreadWindow(DWORD threadId, const std::wstring& title) {
    // The program's main window shares its title with the error box: never take it for a dialog,
    // nor any window that a modal dialog has disabled.
    Search s{[&](HWND hwnd) {
        return IsWindowVisible(hwnd) && IsWindowEnabled(hwnd) && ClassName(hwnd) != L"TfrmMain" &&
               TextOf(hwnd) == title;
    }};
    EnumThreadWindows(threadId, SearchProc, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

DialogAnswerer::DialogAnswerer(std::vector<Step> steps, DWORD timeoutMs)
    : threadId_(GetCurrentThreadId()), steps_(std::move(steps)), timeoutMs_(TestTime(timeoutMs)) {
    {
        std::lock_guard lock(liveMutex);
        live.push_back(this);
    }
    thread_ = std::thread([this] {
        Watch();
        watching_ = false;
    });
}

DialogAnswerer::DialogAnswerer(std::wstring title, DialogAction action, DWORD timeoutMs)
    : DialogAnswerer(std::vector<Step>{{std::move(title), std::move(action)}}, timeoutMs) {}

DialogAnswerer::~DialogAnswerer() {
    Stop();
    std::lock_guard lock(liveMutex);
    std::erase(live, this);
}

bool DialogAnswerer::AnyExpects(const std::wstring& title) {
    std::lock_guard lock(liveMutex);
    return std::any_of(live.begin(), live.end(), [&](const DialogAnswerer* answerer) {
        return answerer->watching_ &&
               std::any_of(answerer->steps_.begin(), answerer->steps_.end(),
                           [&](const Step& step) { return step.title == title; });
    });
}

void DialogAnswerer::StopAll() {
    std::lock_guard lock(liveMutex);
    for (DialogAnswerer* answerer : live)
        answerer->stop_ = true;
}

void DialogAnswerer::Stop() {
    stop_ = true;
    Join();
}

void DialogAnswerer::Join() {
    if (thread_.joinable())
        thread_.join();
}

size_t DialogAnswerer::Answered() const {
    std::lock_guard lock(mutex_);
    return seen_.size();
}

std::vector<DialogSeen> DialogAnswerer::Seen() const {
    std::lock_guard lock(mutex_);
    return seen_;
}

DialogSeen DialogAnswerer::SeenAt(size_t i) const {
    std::lock_guard lock(mutex_);
    return i < seen_.size() ? seen_[i] : DialogSeen{};
}

namespace {

// Waits for a dialog to go away, or for a box of its own to come up in front of it (it is
// disabled then).
void WaitUntilAnswered(HWND dialog, DWORD timeoutMs) {
    using clock = std::chrono::steady_clock;
    const auto gone = clock::now() + std::chrono::milliseconds(timeoutMs);
    while (IsWindow(dialog) && IsWindowVisible(dialog) && IsWindowEnabled(dialog) &&
           clock::now() < gone)
        Sleep(TestTime(20));
}

} // namespace

void DialogAnswerer::Act(HWND dialog, const DialogAction& action) {
    switch (action.kind) {
    case DialogAction::Kind::PressButton: {
        Search s{[&](HWND child) { return IsButtonCaptioned(child, action.argument); }};
        EnumChildWindows(dialog, SearchProc, reinterpret_cast<LPARAM>(&s));
        if (s.found)
            PostMessageW(s.found, BM_CLICK, 0, 0);
        break;
    }
    case DialogAction::Kind::Escape:
        PostKey(threadId_, dialog, VK_ESCAPE);
        break;
    case DialogAction::Kind::Enter:
        PostKey(threadId_, dialog, VK_RETURN);
        break;
    case DialogAction::Kind::CloseBox:
        PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    case DialogAction::Kind::SaveAs: {
        HWND field = FileNameField(dialog);
        SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(action.argument.c_str()));
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
        break;
    }
    }
}

void DialogAnswerer::Watch() {
    using clock = std::chrono::steady_clock;
    for (const Step& step : steps_) {
        const auto deadline = clock::now() + std::chrono::milliseconds(timeoutMs_);
        HWND dialog = nullptr;
        while (!dialog) {
            if (clock::now() > deadline)
                return;
            if (stop_) // the test is done with us
                return;
            dialog = FindThreadWindow(threadId_, step.title);
            if (!dialog) {
                Sleep(TestTime(20));
                continue;
            }
            // Let the dialog finish initialising before reading and answering it.
            Sleep(TestTime(150));
            if (step.due && !step.due()) {
                ++meanwhile_;
                Act(dialog, step.meanwhile);
                WaitUntilAnswered(dialog, timeoutMs_);
                dialog = nullptr;
            }
        }
        if (step.first)
            step.first();

        DialogSeen seen;
        seen.title = step.title;
        seen.style = static_cast<DWORD>(GetWindowLongW(dialog, GWL_STYLE));
        GetWindowRect(dialog, &seen.rect);
        HWND owner = GetWindow(dialog, GW_OWNER);
        seen.owner = owner;
        seen.ownerDisabled = owner && !IsWindowEnabled(owner);
        EnumChildWindows(dialog, CollectProc, reinterpret_cast<LPARAM>(&seen));
        const DialogAction& action = step.action;
        if (action.kind == DialogAction::Kind::SaveAs || GetDlgItem(dialog, cmb13) ||
            GetDlgItem(dialog, edt1)) {
            if (HWND field = FileNameField(dialog)) {
                wchar_t buf[1024] = {};
                SendMessageW(field, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buf));
                seen.fileNameField = buf;
            }
        }
        {
            std::lock_guard lock(mutex_);
            seen_.push_back(seen);
        }

        Act(dialog, action);
        WaitUntilAnswered(dialog, timeoutMs_);
    }
}

namespace {

// Shown and enabled dialogs of this process (a disabled one waits on a box of its own).
BOOL CALLBACK CollectBoxes(HWND hwnd, LPARAM lp) {
    DWORD process = 0;
    GetWindowThreadProcessId(hwnd, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd) &&
        ClassName(hwnd) == L"#32770")
        reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
    return TRUE;
}

} // namespace

UnexpectedBoxWatch::UnexpectedBoxWatch(DWORD graceMs)
    : graceMs_(TestTime(graceMs)), thread_([this] { Run(); }) {}

UnexpectedBoxWatch::~UnexpectedBoxWatch() {
    stop_ = true;
    thread_.join();
}

void UnexpectedBoxWatch::Run() {
    using clock = std::chrono::steady_clock;
    // Cancel first; a box without it takes OK; then its close box.
    const std::pair<UINT, WPARAM> closes[] = {
        {WM_COMMAND, IDCANCEL}, {WM_COMMAND, IDOK}, {WM_CLOSE, 0}};
    while (!stop_) {
        Sleep(200);
        std::vector<HWND> shown;
        EnumWindows(CollectBoxes, reinterpret_cast<LPARAM>(&shown));
        std::map<HWND, Box> still;
        const auto now = clock::now();
        for (HWND box : shown) {
            const std::wstring title = TextOf(box);
            if (DialogAnswerer::AnyExpects(title))
                continue;
            const auto known = boxes_.find(box);
            Box& seen = still[box] = known != boxes_.end() ? known->second : Box{now, now, 0};
            if (now - seen.since < std::chrono::milliseconds(graceMs_) || now < seen.nextTry)
                continue;
            if (seen.closeTries == 0) {
                DialogSeen read;
                EnumChildWindows(box, CollectProc, reinterpret_cast<LPARAM>(&read));
                ADD_FAILURE() << "unexpected dialog \"" << ToUtf8(title)
                              << "\": " << ToUtf8(read.text);
                DialogAnswerer::StopAll();
            }
            const auto& [message, command] = closes[std::min(seen.closeTries++, 2)];
            PostMessageW(box, message, command, 0);
            seen.nextTry = now + std::chrono::seconds(1);
        }
        boxes_ = std::move(still);
    }
}
