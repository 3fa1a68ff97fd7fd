#include "DialogAnswerer.h"

#include <dlgs.h>

#include <chrono>

namespace {

std::wstring WindowText(HWND hwnd) {
    const int len = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<size_t>(len) + 1, L'\0');
    GetWindowTextW(hwnd, text.data(), len + 1);
    text.resize(static_cast<size_t>(len));
    return text;
}

std::wstring ClassName(HWND hwnd) {
    wchar_t buf[64] = {};
    GetClassNameW(hwnd, buf, 64);
    return buf;
}

struct FindData {
    const std::wstring* title;
    HWND found;
};

BOOL CALLBACK FindProc(HWND hwnd, LPARAM lp) {
    auto* data = reinterpret_cast<FindData*>(lp);
    // The program's main window shares its title with the error box: never take it for a dialog,
    // nor any window that a modal dialog has disabled.
    if (IsWindowVisible(hwnd) && IsWindowEnabled(hwnd) && ClassName(hwnd) != L"TfrmMain" &&
        WindowText(hwnd) == *data->title) {
        data->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CollectProc(HWND child, LPARAM lp) {
    auto* seen = reinterpret_cast<DialogSeen*>(lp);
    const std::wstring cls = ClassName(child);
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    if (!IsWindowVisible(child))
        return TRUE;
    if (_wcsicmp(cls.c_str(), L"Static") == 0) {
        const std::wstring text = WindowText(child);
        if (!text.empty() && (style & SS_TYPEMASK) != SS_ICON) {
            if (!seen->text.empty())
                seen->text += L"\n";
            seen->text += text;
        }
    } else if (_wcsicmp(cls.c_str(), L"Button") == 0) {
        const LONG type = style & BS_TYPEMASK;
        if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON)
            seen->buttons.push_back(WindowText(child));
    }
    return TRUE;
}

struct ButtonSearch {
    const std::wstring* caption;
    HWND found;
};

BOOL CALLBACK ButtonProc(HWND child, LPARAM lp) {
    auto* s = reinterpret_cast<ButtonSearch*>(lp);
    if (_wcsicmp(ClassName(child).c_str(), L"Button") == 0 && IsWindowVisible(child)) {
        std::wstring text = WindowText(child);
        std::wstring plain;
        for (wchar_t c : text)
            if (c != L'&')
                plain += c;
        if (text == *s->caption || plain == *s->caption) {
            s->found = child;
            return FALSE;
        }
    }
    return TRUE;
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

} // namespace

HWND FindThreadWindow(DWORD threadId, const std::wstring& title) {
    FindData data{&title, nullptr};
    EnumThreadWindows(threadId, FindProc, reinterpret_cast<LPARAM>(&data));
    return data.found;
}

DialogAnswerer::DialogAnswerer(std::vector<Step> steps, DWORD timeoutMs)
    : threadId_(GetCurrentThreadId()), steps_(std::move(steps)), timeoutMs_(timeoutMs) {
    thread_ = std::thread([this] { Watch(); });
}

DialogAnswerer::DialogAnswerer(std::wstring title, DialogAction action, DWORD timeoutMs)
    : DialogAnswerer(std::vector<Step>{{std::move(title), std::move(action)}}, timeoutMs) {}

DialogAnswerer::~DialogAnswerer() {
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
            if (!dialog)
                Sleep(20);
        }
        // Let the dialog finish initialising before reading and answering it.
        Sleep(150);
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

        switch (action.kind) {
        case DialogAction::Kind::PressButton: {
            ButtonSearch s{&action.argument, nullptr};
            EnumChildWindows(dialog, ButtonProc, reinterpret_cast<LPARAM>(&s));
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
        // Wait for the dialog to go away before looking for the next one, or for a box of its
        // own to come up in front of it (it is disabled then).
        const auto gone = clock::now() + std::chrono::milliseconds(timeoutMs_);
        while (IsWindow(dialog) && IsWindowVisible(dialog) && IsWindowEnabled(dialog) &&
               clock::now() < gone)
            Sleep(20);
    }
}
