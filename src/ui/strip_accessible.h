#pragma once

class StatusItem;

// What screen readers see of the strip: a button named after the title on
// display, which opens the menu when pressed.
namespace StripAccessible {

// Makes Qt ask us for the strip's and the application's accessible
// interfaces; once per process, before the QApplication exists, since Qt keeps
// the first application interface it makes.
void install();
// Tells assistive technology that the strip's name changed.
void nameChanged(StatusItem *item);

} // namespace StripAccessible
