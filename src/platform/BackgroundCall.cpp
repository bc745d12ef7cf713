#include "platform/BackgroundCall.h"

namespace BackgroundCall {
std::atomic<int>& pendingCounter()
{
    static std::atomic<int> counter{0};
    return counter;
}
}  // namespace BackgroundCall
