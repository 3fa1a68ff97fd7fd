#pragma once
// An integer field with up and down buttons inside its right edge.

#include "WindowBase.h"

#include <windows.h>

// The object's window is the buttons; the edit box is a subclassed control.
class TSpinEdit : public WindowBase<TSpinEdit> {
public:
    static constexpr wchar_t kClassName[] = L"TSpinButton";
    static constexpr UINT_PTR kRepeatTimer = 1;
    static constexpr UINT kInitialRepeatPause = 400; // ms before a held button repeats
    static constexpr UINT kRepeatPause = 100;        // ms between repeats
    static constexpr int kButtonWidth = 15;

    // Creates the field and its buttons (children of the field) in the parent.
    void Create(HWND parent, RECT rect, int id, int minValue, int maxValue, int maxLength);
    HWND Edit() const noexcept { return edit_; }
    HWND Buttons() const noexcept { return Handle(); }

    // The text as an integer; text that is not an integer reads as the minimum.
    int Value() const;
    // Shows the value, clamped to the range.
    void SetValue(int value);
    int Clamp(int value) const noexcept;

private:
    friend class WindowBase<TSpinEdit>;
    LRESULT EditMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp); // the buttons'

    void ButtonMouseDown(POINT pt);
    void ButtonMouseMove(POINT pt);
    void ButtonMouseUp();
    void ButtonTimer();
    void ButtonPaint();
    RECT HalfRect(int direction) const;                         // +1 the upper half, -1 the lower
    void Step(int direction) { SetValue(Value() + direction); } // +1 up, -1 down
    void Reposition();

    HWND edit_ = nullptr;
    int min_ = 0;
    int max_ = 0;
    bool mousePress_ = false; // the field is being focused by a mouse press
    int pressed_ = 0;         // the held button: +1 up, -1 down, 0 none
    bool pointerOn_ = false;  // the pointer is on the held button
};
