#pragma once
// The program's own modal message dialog: warning, information or confirmation.

#include <string>

enum class TMsgDlgType { mtWarning, mtInformation, mtConfirmation };
enum class TMsgDlgButtons { mbOK, mbOKCancel };
enum class TModalResult { mrOk, mrCancel };

// Shows the dialog centred on the screen over DialogOwner() and returns the button that ended it.
TModalResult MessageDialog(const std::wstring& message, TMsgDlgType type, TMsgDlgButtons buttons);
