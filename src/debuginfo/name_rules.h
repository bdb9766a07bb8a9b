// How the names carried by line records become class and procedure.
#pragma once

#include <string>

namespace vl {

struct TNameState {
  std::string ClassName;      // class of the name last read
  std::string ProcedureName;  // procedure of the name last read
  std::string PreviousClass;  // last non-empty class of the unit
};

// Applies a name read from a record: ".Proc" keeps the previous class, "Class.Proc" splits at
// the last "." (so that a dotted class such as "Forms.TApplication" survives), anything else is
// a procedure without class; a leading "@" of the procedure becomes "_".
void ApplyRecordName(const std::string& name, TNameState& state);

}  // namespace vl
