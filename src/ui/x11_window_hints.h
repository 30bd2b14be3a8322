#pragma once

class QWindow;

// On X11, keeps a window out of taskbars and pagers. Qt sets no _NET_WM_STATE
// hints of its own for Qt::Tool windows, so without this our windows would get
// taskbar entries. keepAbove also pins the window above others and onto every
// desktop. Call after the native window exists and before it is shown; does
// nothing on other platforms.
void markSkipTaskbar(QWindow *window, bool keepAbove);
