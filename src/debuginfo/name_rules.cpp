#include "debuginfo/name_rules.h"

namespace vl {

void ApplyRecordName(const std::string& name, TNameState& state) {
  if (!name.empty() && name[0] == '.') {
    state.ClassName = state.PreviousClass;
    state.ProcedureName = name.substr(1);
  } else if (size_t dot = name.rfind('.'); dot != std::string::npos) {
    state.ClassName = name.substr(0, dot);
    state.ProcedureName = name.substr(dot + 1);
  } else {
    state.ClassName.clear();
    state.ProcedureName = name;
  }
  if (!state.ProcedureName.empty() && state.ProcedureName[0] == '@') state.ProcedureName[0] = '_';
  if (!state.ClassName.empty()) state.PreviousClass = state.ClassName;
}

}  // namespace vl
