#include "platform/LaunchHeapGrowth.h"

#include <QByteArray>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {
constexpr int kLaunchStep = 16 * 1024 * 1024;
constexpr int kUsualStep = 128 * 1024;  // the C library's own default
}  // namespace

LaunchHeapGrowth::LaunchHeapGrowth()
{
#ifdef __GLIBC__
    // A step the user chose for the C library is left alone.
    if (qgetenv("GLIBC_TUNABLES").contains("top_pad") || qEnvironmentVariableIsSet("MALLOC_TOP_PAD_")) return;
    m_set = mallopt(M_TOP_PAD, kLaunchStep) == 1;
#endif
}

LaunchHeapGrowth::~LaunchHeapGrowth()
{
#ifdef __GLIBC__
    if (m_set) mallopt(M_TOP_PAD, kUsualStep);
#endif
}
