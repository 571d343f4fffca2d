// The names of the system's icons for LoadIcon: the desktop style's pictures of the same meaning,
// made anew by each call (free them with DestroyIcon).
#pragma once

#include "platform/ui/WinUser.h"

inline const LPCWSTR IDI_APPLICATION = MAKEINTRESOURCE(32512);
inline const LPCWSTR IDI_HAND = MAKEINTRESOURCE(32513);
inline const LPCWSTR IDI_QUESTION = MAKEINTRESOURCE(32514);
inline const LPCWSTR IDI_EXCLAMATION = MAKEINTRESOURCE(32515);
inline const LPCWSTR IDI_ASTERISK = MAKEINTRESOURCE(32516);
inline const LPCWSTR IDI_WINLOGO = MAKEINTRESOURCE(32517);
inline const LPCWSTR IDI_SHIELD = MAKEINTRESOURCE(32518);
inline const LPCWSTR IDI_ERROR = IDI_HAND;
inline const LPCWSTR IDI_WARNING = IDI_EXCLAMATION;
inline const LPCWSTR IDI_INFORMATION = IDI_ASTERISK;
