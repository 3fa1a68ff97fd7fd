#pragma once
// Answers modal dialogs that the code under test opens on this thread, the way a user would:
// a watcher thread waits for a window with the expected title, reads it and acts on it.

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct DialogAction {
    enum class Kind { PressButton, Escape, Enter, CloseBox, SaveAs };
    Kind kind;
    std::wstring argument; // button caption, or the file name to type

    static DialogAction Press(std::wstring caption) {
        return {Kind::PressButton, std::move(caption)};
    }
    static DialogAction Esc() { return {Kind::Escape, {}}; }
    static DialogAction Return() { return {Kind::Enter, {}}; }
    static DialogAction Close() { return {Kind::CloseBox, {}}; }
    // Save-file dialog: types the name into the file name field and presses the save button.
    static DialogAction TypeFileName(std::wstring name) { return {Kind::SaveAs, std::move(name)}; }
};

// What the watcher saw of one dialog before acting on it.
struct DialogSeen {
    std::wstring title;
    std::wstring text;                 // static texts joined by "\n" (empty ones skipped)
    std::vector<std::wstring> buttons; // push buttons' captions, in z-order
    std::wstring fileNameField;        // save dialog: the name offered
    DWORD style = 0;
    RECT rect{};                // window rectangle on screen
    HWND owner = nullptr;       // the window that owns the dialog, if any
    bool ownerDisabled = false; // the owner was disabled while the dialog was up
};

class DialogAnswerer {
public:
    struct Step {
        std::wstring title;
        DialogAction action;
        // Runs on the watcher's thread once the dialog is up, before it is read and answered (the
        // user turning to another program, say).
        std::function<void()> first = {};
        // When set, a dialog with this title that comes while it says false is not this step's:
        // it is answered with `meanwhile`, counted in Meanwhile(), and the step waits on.
        std::function<bool()> due = {};
        DialogAction meanwhile = DialogAction::Press(L"OK");
    };

    // Starts watching the calling thread for the given dialogs, answered in this order.
    explicit DialogAnswerer(std::vector<Step> steps, DWORD timeoutMs = 20000);
    DialogAnswerer(std::wstring title, DialogAction action, DWORD timeoutMs = 20000);
    DialogAnswerer(const DialogAnswerer&) = delete;
    DialogAnswerer& operator=(const DialogAnswerer&) = delete;
    ~DialogAnswerer();

    // Waits for the watcher to finish (all steps answered or timed out).
    void Join();
    // Ends the watch at once: the test knows no further dialog can come.
    void Stop();
    // Number of dialogs answered so far (those answered meanwhile not counted).
    size_t Answered() const;
    // Dialogs answered with a step's `meanwhile`.
    size_t Meanwhile() const { return meanwhile_; }
    std::vector<DialogSeen> Seen() const;
    DialogSeen SeenAt(size_t i) const;
    bool AllAnswered() const { return Answered() == steps_.size(); }

private:
    friend class UnexpectedBoxWatch;
    void Watch();
    void Act(HWND dialog, const DialogAction& action);
    // Whether an answerer still waiting for its dialogs has one with this title.
    static bool AnyExpects(const std::wstring& title);
    static void StopAll();

    DWORD threadId_;
    std::vector<Step> steps_;
    DWORD timeoutMs_;
    mutable std::mutex mutex_;
    std::vector<DialogSeen> seen_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> watching_{true};
    std::atomic<size_t> meanwhile_{0};
    std::thread thread_;
};

// Fails the running test on a dialog of this process that no answerer waits for and that stays up
// (an error box where the test expected none, say): the failure gives its title and text, and the
// dialog is closed and every answerer gives up, so that the test ends within seconds, not at its
// time-out. One for the whole test program (the test entry makes it).
class UnexpectedBoxWatch {
public:
    explicit UnexpectedBoxWatch(DWORD graceMs = 5000);
    UnexpectedBoxWatch(const UnexpectedBoxWatch&) = delete;
    UnexpectedBoxWatch& operator=(const UnexpectedBoxWatch&) = delete;
    ~UnexpectedBoxWatch();

private:
    void Run();

    struct Box {
        std::chrono::steady_clock::time_point since, nextTry;
        int closeTries = 0;
    };
    DWORD graceMs_;
    std::map<HWND, Box> boxes_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Top-level visible windows of a thread with this title (empty when none).
HWND FindThreadWindow(DWORD threadId, const std::wstring& title);
