#include "hooking/hook_errors.h"

namespace vl {

EProcNull::EProcNull(const std::string& name)
    : EHookError(Format("Cannot hook a null procedure (\"%s\").", name.c_str())) {}

EHookingError::EHookingError(const std::string& name)
    : EHookError(Format("Cannot hook the procedure \"%s\".", name.c_str())) {}

ESharedArea::ESharedArea(const std::string& moduleFileName)
    : EHookError(Format("Cannot hook the module \"%s\" located into the shared-area.",
                        moduleFileName.c_str())) {}

}  // namespace vl
