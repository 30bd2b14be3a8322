#pragma once

#include <QString>

// Plain text from the markup publishers put in titles, raw or escaped: face tags
// (<i>, <sub>, <scp>, ...), MathML (<mml:math>...) and JATS tags are removed,
// keeping their text; a formula glued to a word is set apart from it, a nuclide's
// prescripts come before its symbol, an inner <subtitle> follows ": ";
// character references are decoded; whitespace is collapsed. Tolerant: anything
// that is not a tag it knows ("a<b", "x < y") stays text.
QString plainText(const QString &raw);
// Decodes character references (&amp;, &#233;, &#xE9;); unknown ones stay as written.
QString decodeEntities(const QString &text);
