#include "process.h"

#include <sys/prctl.h>
#include <sys/resource.h>

namespace orvane_platform {

void disable_core_dumps() {
    rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

}  // namespace orvane_platform
