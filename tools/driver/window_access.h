// Looking at other processes' windows from outside and acting on them: texts and classes,
// list items and selections with a time limit (the owner may be busy), child windows, message
// boxes, and the keys a script names.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "script.h"

namespace driver {

std::string windowText(HWND window);
std::string className(HWND window);

// SendMessageTimeout with the driver's limit; false when the window did not answer in time.
bool sendTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

// A list box (or a combo box's list) rather than a combo box.
bool isListBox(HWND control);
// Items of a list or combo box; false while the owner is too busy to answer.
bool readItems(HWND control, Words& items);
bool readIndex(HWND control, int& index);

// Direct children of `parent`, in the order the system keeps them.
std::vector<HWND> children(HWND parent);

struct Box {
    HWND window = nullptr;
    std::string caption;
    std::string text;
    Words buttons; // left to right
    std::vector<HWND> buttonWindows;
};

// The program's own message box or the system's.
bool isBoxWindow(HWND window);
Box readBox(HWND window);

// The virtual key of a key name (Esc, Enter, Tab, Space, Up, Down, Left, Right) or character.
WORD keyCode(const std::string& name);

} // namespace driver
