// Calling the attached event handlers (on the faulting thread, exceptions swallowed) and the
// cross-module exception data: the "EXCEPT" record a module publishes for its last exception,
// read back after every handler call.
#pragma once

#include <windows.h>

#include "pipeline/pipeline_state.h"

namespace vl::pipeline {

void CallNotifyHandler(TVantorExceptionRecord& record, bool& handle);
void CallActionHandler(const TVantorExceptionRecord& record, int action, bool& result);
void CallErrorHandler(const TVantorExceptionRecord& record, int action, bool& retry);

// Reads Module's "EXCEPT" record when it holds data: RemoteTypeName and RemoteMessage take its
// strings and, once a report exists, the report is rebuilt with them. The record's flag is
// cleared.
void ReadCrossModuleData(HMODULE module);

}  // namespace vl::pipeline
