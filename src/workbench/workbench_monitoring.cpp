#include "workbench/workbench.hpp"

namespace tonfield {

// Called by the poll timer every 0.4 s for the life of the Workbench. Nothing
// is followed yet: no engine run or player exists to observe.
void Workbench::tick() {}

} // namespace tonfield
