#include "media/wmv/WMVConverter.h"

namespace tq9 {

CWMVConverter& CWMVConverter::Instance()
{
    static CWMVConverter instance;
    return instance;
}

} // namespace tq9
