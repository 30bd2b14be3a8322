#pragma once

#include <QList>
#include <QString>

class TickerModel;

// The status menu as plain rows, in order, so that what the menu says is
// decided (and tested) without widgets; a thin builder in the UI renders it.
struct MenuRow
{
    enum class Kind { Line, Action, Check, Separator, Slider };
    // Font and colour roles; the builder maps them to the desktop's palette.
    enum class Style { Plain, Journal, Title, Author, Date, SectionHeader };
    enum class Command { None, OpenPaper, OpenFilters, Width, Speed, Refresh, LaunchAtLogin, Quit };

    Kind kind = Kind::Line;
    QString text;
    Style style = Style::Plain;
    bool enabled = false;
    Command command = Command::None;
    // Shown and accepted with Ctrl, as Linux menus do; 0 for none.
    char key = 0;
    bool checked = false;
    // Sliders: range and start value, in the slider's integer units.
    int minimum = 0;
    int maximum = 0;
    int value = 0;
    // Sliders: what one unit is worth (speed counts hundredths).
    double unit = 1;
    QString objectName;
};

namespace MenuDescription {

// What the controls read from the preferences at every rebuild.
struct Settings
{
    double tickerWidth;
    double tickerSpeed;
    bool launchAtLogin;
};

// The whole menu for the model's state: the paper on display (or a
// placeholder), then the controls. An out-of-range index shows only the controls.
QList<MenuRow> describe(const TickerModel &model, const Settings &settings);

// The controls below the paper block.
QList<MenuRow> bottomControls(const Settings &settings);

// The values a menu that cannot hold a slider (one exported over D-Bus) offers
// instead, in slider units, ascending; the current value is always among them.
QList<int> sliderChoices(const MenuRow &row);
// A slider value as such a menu shows it: "200", or "0.80" for the speed.
QString formatSliderValue(const MenuRow &row, int value);

} // namespace MenuDescription
