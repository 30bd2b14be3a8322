#pragma once

#include <QString>

// Plain text from the markup publishers put in titles: face tags (<i>, <sub>,
// <scp>, ...), MathML (<mml:math>...) and JATS tags are removed, keeping their
// text; character references are decoded; whitespace is collapsed. Tolerant:
// anything that is not a tag it knows ("a<b", "x < y") stays text.
QString plainText(const QString &markup);
// Decodes character references (&amp;, &#233;, &#xE9;); unknown ones stay as written.
QString decodeEntities(const QString &text);
