#include "core/menu_description.h"

#include "core/journal_constants.h"
#include "core/ticker_model.h"

#include <algorithm>
#include <cmath>

namespace MenuDescription {

namespace {

MenuRow line(const QString &text, MenuRow::Style style, const QString &objectName)
{
    MenuRow row;
    row.text = text;
    row.style = style;
    row.objectName = objectName;
    return row;
}

MenuRow action(const QString &text, MenuRow::Command command, char key, const QString &objectName)
{
    MenuRow row;
    row.kind = MenuRow::Kind::Action;
    row.text = text;
    row.enabled = true;
    row.command = command;
    row.key = key;
    row.objectName = objectName;
    return row;
}

MenuRow separator()
{
    MenuRow row;
    row.kind = MenuRow::Kind::Separator;
    return row;
}

MenuRow slider(const QString &caption, MenuRow::Command command, int minimum, int maximum,
    double value, double unit, const QString &objectName)
{
    MenuRow row = action(caption, command, 0, objectName);
    row.kind = MenuRow::Kind::Slider;
    row.minimum = minimum;
    row.maximum = maximum;
    row.value = int(std::lround(value / unit));
    row.unit = unit;
    return row;
}

} // namespace

QList<MenuRow> describe(const TickerModel &model, const Settings &settings)
{
    QList<MenuRow> rows;
    if (model.displayPapers().isEmpty()) {
        rows.append(
            line(model.allPapers().isEmpty() ? QStringLiteral("No papers loaded yet")
                                             : QStringLiteral("All papers hidden by filter"),
                MenuRow::Style::Plain, QStringLiteral("placeholder")));
    } else if (const Paper *paper = model.currentPaper()) {
        rows.append(line(JournalConstants::fullName(paper->journal()), MenuRow::Style::Journal,
            QStringLiteral("journalLine")));
        MenuRow title
            = action(paper->title(), MenuRow::Command::OpenPaper, 0, QStringLiteral("titleLine"));
        title.style = MenuRow::Style::Title;
        rows.append(title);
        rows.append(line(paper->author(), MenuRow::Style::Author, QStringLiteral("authorLine")));
        if (!paper->utf8(Paper::Date).isEmpty())
            rows.append(line(paper->date(), MenuRow::Style::Date, QStringLiteral("dateLine")));
        rows.append(separator());
    }
    rows.append(bottomControls(settings));
    return rows;
}

QList<MenuRow> bottomControls(const Settings &settings)
{
    MenuRow login = action(QStringLiteral("Launch at Login"), MenuRow::Command::LaunchAtLogin, 0,
        QStringLiteral("launchAtLogin"));
    login.kind = MenuRow::Kind::Check;
    login.checked = settings.launchAtLogin;

    return {
        action(QStringLiteral("Journal Filters..."), MenuRow::Command::OpenFilters, 'F',
            QStringLiteral("journalFilters")),
        separator(),
        line(QStringLiteral("Display Settings"), MenuRow::Style::SectionHeader,
            QStringLiteral("displaySettings")),
        slider(QStringLiteral("Width:"), MenuRow::Command::Width, 100, 600, settings.tickerWidth, 1,
            QStringLiteral("widthSlider")),
        // QSlider is integer-based: the speed slider counts hundredths.
        slider(QStringLiteral("Speed:"), MenuRow::Command::Speed, 10, 500, settings.tickerSpeed,
            0.01, QStringLiteral("speedSlider")),
        separator(),
        action(QStringLiteral("\u21BB Refresh Now"), MenuRow::Command::Refresh, 'R',
            QStringLiteral("refresh")),
        login,
        separator(),
        action(QStringLiteral("Quit Quillet"), MenuRow::Command::Quit, 'Q', QStringLiteral("quit")),
    };
}

QList<int> sliderChoices(const MenuRow &row)
{
    QList<int> values = row.command == MenuRow::Command::Width
        ? QList<int> {100, 150, 200, 250, 300, 350, 400, 450, 500, 550, 600}
        : QList<int> {25, 50, 80, 100, 150, 200, 300, 400, 500};
    const int current = std::clamp(row.value, row.minimum, row.maximum);
    if (!values.contains(current)) {
        values.append(current);
        std::sort(values.begin(), values.end());
    }
    return values;
}

QString formatSliderValue(const MenuRow &row, int value)
{
    return row.unit == 1 ? QString::number(value) : QString::number(value * row.unit, 'f', 2);
}

} // namespace MenuDescription
