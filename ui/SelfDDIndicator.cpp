#include "ui/SelfDDIndicator.h"

namespace tq9 {

CSelfDDIndicator& CSelfDDIndicator::Instance()
{
    static CSelfDDIndicator instance;
    return instance;
}

} // namespace tq9
