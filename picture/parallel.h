// Passes over the rows of a large picture shared between the calling thread and a second core.
// Each row is worked on exactly once, by code that reads and writes that row alone, so the
// pixels never depend on how the rows were shared out.
#pragma once

#include <cstdint>
#include <functional>

// Pictures below this many pixels are worked on by the calling thread alone: a second thread
// would cost more than it saves.
constexpr int64_t kParallelMinPixels = int64_t{1} << 20;

// ---------------------------------------------------------------------------------------------
// Shared passes
// ---------------------------------------------------------------------------------------------

// True when a pass over width x height pixels is shared out (large enough, a second core).
bool ParallelWorthIt(int width, int height);
// Runs band(first, last) over consecutive bands of rows covering [0, height), each row once:
// on the calling thread alone unless ParallelWorthIt(width, height), else on it and one more
// thread. `row`, when set, is called on the calling thread once for every row y, in order, as
// the bands taken so far reach it (all of them before this returns).
void ParallelRows(int width, int height, const std::function<void(int first, int last)>& band,
                  const std::function<void(int y)>& row = {});
// Runs part(first, last) over consecutive runs of [0, count), each index once, for a pass over
// width x height pixels cut into `count` pieces other than rows: shared out as ParallelRows is.
void ParallelParts(int width, int height, int count,
                   const std::function<void(int first, int last)>& part);
