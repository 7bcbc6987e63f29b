// WaitForMultipleObjects over objects that each keep their own lock: one process-wide condition
// that every such object signals after it has become signalled. A waiter tests its objects under
// the condition's lock, so a signal between its test and its sleep is never lost.
#pragma once

namespace os::sim {

// Called by an object (outside its own lock) once it is signalled.
void object_signalled();

}  // namespace os::sim
