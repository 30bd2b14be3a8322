#pragma once

class QRect;
class QWindow;

// Whether windows go to an X server, where the hints below apply.
bool onX11();

// On X11, keeps a window out of taskbars and pagers. Qt sets no _NET_WM_STATE
// hints of its own for Qt::Tool windows, so without this our windows would get
// taskbar entries. keepAbove also pins the window above others and onto every
// desktop. Call after the native window exists and before it is shown; does
// nothing on other platforms.
void markSkipTaskbar(QWindow *window, bool keepAbove);

// On X11, makes the window a dock (a panel, to the window manager): KWin keeps
// any other window out of the band it reserves, the window's own included.
// Call after the native window exists and before it is shown; Qt writes the
// type only when the window's flags change.
void markDock(QWindow *window);

// On X11, asks the window manager to keep other windows out of `band` (the
// window's own rectangle, in logical pixels, at the top of its screen): what
// maximised and snapped windows avoid. Struts reach from the root window's top
// edge, so a band on a screen that does not touch it reserves nothing. Returns
// whether a reservation was published.
bool reserveTopBand(QWindow *window, const QRect &band);
// Gives the reservation back. Safe when there is none.
void dropReservation(QWindow *window);
