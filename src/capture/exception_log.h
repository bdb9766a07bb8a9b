// The crash reporter's public calls for the program. A C++ framework or server thread that ends
// in a last-chance catch of its own (a socket server's connection thread, a plug-in host, a
// message loop of another GUI library) calls HandleFrameworkException from inside that catch:
// the exception being handled is reported there, with the registers and stack position the
// raise hook recorded when the raise hook saw it.
//
//   try {
//     ServeConnection();
//   } catch (...) {
//     if (ExceptionLog::HandleFrameworkException()) LogAndCloseConnection();
//   }
//
// The answer is true when the caller's own handling is to run as well: the crash reporter is
// inactive, the exception is an EAbort, the thread is ignored or catching is switched off, or the
// notification asked for it. False when the crash reporter reported the exception and the caller
// should skip its own handling, and also when the call comes from inside a notification (an
// exception raised while one is handled is never reported). Called outside any catch it reports
// nothing (not even an exception recorded earlier) and answers true. Never raises.
#pragma once

namespace vl::ExceptionLog {

bool HandleFrameworkException() noexcept;

}  // namespace vl::ExceptionLog
