#include "platform/Resources.h"

#include <QtGlobal>
#include <mutex>

static void initTarnwickResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace Resources {
void ensureLoaded()
{
    static std::once_flag once;
    std::call_once(once, initTarnwickResources);
}
}  // namespace Resources
