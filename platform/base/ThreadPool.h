// Threads kept for reuse. Starting a thread costs more than many of the short jobs the program runs
// on one (a page check, a request): a job goes to a thread that waits idle for work, or to a new
// thread when none waits. A thread that finds no work for a while ends, and only a few wait at once.
#pragma once

#include <functional>

namespace taluvo {

// Runs job on a thread of the pool; false when no thread could be had (the job then does not run).
// A job must leave no state on its thread that the next job could see.
bool RunPooled(std::function<void()> job);

// Threads of the pool now, running a job or waiting for one.
int PooledThreads();

} // namespace taluvo
