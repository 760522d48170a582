// Frames of the two dialog templates: size in dialog units, caption and font.
// Read by the resource script and by the C++ template table.
#pragma once

#define MAIN_DIALOG_WIDTH 297
#define MAIN_DIALOG_HEIGHT 294
#define MAIN_DIALOG_CAPTION "..."

#define ABOUT_DIALOG_WIDTH 206
#define ABOUT_DIALOG_HEIGHT 158
#define ABOUT_DIALOG_CAPTION "关于"

#define DIALOG_FONT_FACE "宋体"
#define DIALOG_FONT_POINTS 9
