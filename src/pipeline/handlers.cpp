#include "pipeline/handlers.h"

#include "core/trace.h"
#include "pipeline/build_report.h"
#include "pipeline/except_notify.h"
#include "publishing/published_data.h"
#include "runtime/system.h"

namespace vl::pipeline {

namespace {

// Each handler call is guarded separately: what one raises does not stop the other.
template <class Call>
void Guarded(const char* name, Call&& call) {
  try {
    call();
  } catch (...) {
    Trace(name, {std::string("raised")}, 0);
  }
}

}  // namespace

void CallNotifyHandler(TVantorExceptionRecord& record, bool& handle) {
  CallOnExceptionThread([&] {
    TVantorLogEvents* events = AttachedEvents();
    if (events && events->OnNotify) Guarded("OnNotify", [&] { events->OnNotify(record, handle); });
    if (NotifyHandler) Guarded("NotifyHandler", [&] { NotifyHandler(record, handle); });
  });
}

void CallActionHandler(const TVantorExceptionRecord& record, int action, bool& result) {
  CallOnExceptionThread([&] {
    TVantorLogEvents* events = AttachedEvents();
    if (events && events->OnAction) {
      Guarded("OnAction", [&] { events->OnAction(record, action, result); });
    }
    if (ActionHandler) Guarded("ActionHandler", [&] { ActionHandler(record, action, result); });
  });
}

void CallErrorHandler(const TVantorExceptionRecord& record, int action, bool& retry) {
  CallOnExceptionThread([&] {
    TVantorLogEvents* events = AttachedEvents();
    if (events && events->OnError) {
      Guarded("OnError", [&] { events->OnError(record, action, retry); });
    }
    if (ErrorHandler) Guarded("ErrorHandler", [&] { ErrorHandler(record, action, retry); });
  });
}

void ReadCrossModuleData(HMODULE module) {
  // This module's own record holds what this reporter published itself, the exception being
  // reported: nothing to learn there, and no other thread's text to take by mistake.
  if (!module || module == rtl::LibraryInstance()) return;
  std::string className;
  std::string message;
  if (!publishing::ReadPublishedException(module, className, message)) return;
  TPipelineState& state = State();
  state.RemoteTypeName = className;
  state.RemoteMessage = message;
  if (state.CurrentExceptionRecord) RebuildReportWithRemoteData(*state.CurrentExceptionRecord);
}

}  // namespace vl::pipeline
