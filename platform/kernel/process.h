// The process itself, as a holder of secrets.
#pragma once

namespace orvane_platform {

// No core file of this process: it holds passwords (as ssh-agent and gpg-agent do).
void disable_core_dumps();

}  // namespace orvane_platform
