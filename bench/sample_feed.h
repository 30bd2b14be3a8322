#pragma once

#include "core/paper.h"

#include <cstddef>

// The benchmark's invented feed of `count` papers: deterministic (fixed seed),
// titles of 40 to 160 code points, one paper in four with non-ASCII text.
PaperResponse makeFeed(std::size_t count);
