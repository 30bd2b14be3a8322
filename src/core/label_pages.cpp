#include "core/label_pages.h"

#include <algorithm>
#include <cmath>

namespace LabelPages {

QStringList split(const QString &text, int width)
{
    width = std::max(width, minimumWidth);
    const QString ellipsis(QChar(0x2026));
    QStringList pages;
    QString rest = text.simplified();
    while (rest.size() > width) {
        // Room for the ellipsis; break at the last space that fits, or mid-word.
        qsizetype cut = rest.lastIndexOf(u' ', width - 1);
        if (cut <= 0)
            cut = width - 1;
        pages.append(rest.left(cut).trimmed() + ellipsis);
        rest = rest.mid(cut).trimmed();
    }
    pages.append(rest);
    return pages;
}

std::chrono::milliseconds dwell(double speed)
{
    using namespace std::chrono;
    const double atDefault = 3500.0 * 0.8 / std::max(speed, 0.01);
    return milliseconds(std::lround(std::clamp(atDefault, 3000.0, 15000.0)));
}

QString guide(int width)
{
    // Digits are as wide as an average letter in most fonts.
    return QString(std::max(width, minimumWidth), u'0');
}

} // namespace LabelPages
