#include "MessageDialog.h"

TModalResult MessageDialog(const std::wstring&, TMsgDlgType, TMsgDlgButtons) {
    return TModalResult::mrCancel;
}
