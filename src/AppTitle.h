#pragma once

inline constexpr wchar_t kAppTitle[] = L"タブロリン";
