#pragma once
// How many kernel handles this process holds, for long runs and tests that look for leaks.

namespace kovracam {

// GetProcessHandleCount where the system answers it; where it gives 0 (Wine 8 does; no process
// has no handles), this process's entries of the system handle table. 0 when neither answers.
unsigned long processHandleCount();

}  // namespace kovracam
