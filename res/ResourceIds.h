// Resource ids of Zentavo.wfx, shared by Zentavo.rc and the code that loads them.
// The pictures are PNG files kept as RCDATA (see TPngImage::LoadFromResource).
#pragma once

#define IDR_PNG_ICON 101                 // 64 x 64 product icon
#define IDR_PNG_LOGO 102                 // 234 x 64 product logo
#define IDR_PNG_DONATE 103               // 62 x 31 donate picture
#define IDR_PNG_MOVE_UP 104              // 16 x 32 glyphs of the pipe's move buttons
#define IDR_PNG_MOVE_UP_DISABLED 105
#define IDR_PNG_MOVE_DOWN 106
#define IDR_PNG_MOVE_DOWN_DISABLED 107
