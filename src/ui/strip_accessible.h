#pragma once

class StatusItem;

// What screen readers see of the strip: a button named after the title on
// display, which opens the menu when pressed.
namespace StripAccessible {

// Makes Qt ask us for the strip's accessible interface; once per process.
void install();
// Tells assistive technology that the strip's name changed.
void nameChanged(StatusItem *item);

} // namespace StripAccessible
