#pragma once

namespace devlore::runtime {

// Runs the functions registered with atexit, newest first, and empties the list.
void RunExitList();

}  // namespace devlore::runtime
