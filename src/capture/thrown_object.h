// The thrown C++ object behind an unwinder exception, read from the C++ runtime's exception
// header (GCC's libstdc++ layout), and what the capture needs of it without rethrowing: its type,
// a counted reference (std::exception_ptr), its class name and its message.
#pragma once

#include <unwind.h>

#include <exception>
#include <string>
#include <string_view>
#include <typeinfo>

namespace vl::capture {

struct TThrownObject {
  void* Object = nullptr;                // the primary object (also for rethrow_exception)
  const std::type_info* Type = nullptr;  // null: a foreign exception
  // Raised again while a handler holds it (`throw;` in a catch, or std::rethrow_exception): the
  // registers of its first raise stay the ones to report.
  bool Rethrow = false;
};

// The unwinder's header inside the C++ runtime's header of a primary thrown Object.
_Unwind_Exception* UnwindHeaderOf(void* object);

// The primary object of a C++ exception ("GNUCC++\0", or a dependent one "GNUCC++\x01"); empty
// for anything else.
TThrownObject ThrownObjectOf(_Unwind_Exception* exception);
// The object a std::exception_ptr refers to (its primary object and type), read without
// rethrowing; empty for a null pointer.
TThrownObject ThrownObjectOf(const std::exception_ptr& object);
// Whether the object carries a message of its own (the runtime's Exception or std::exception).
bool HasOwnMessage(const TThrownObject& thrown);

// The object a std::exception_ptr holds (libstdc++'s points at the primary object) and its type.
TThrownObject ThrownObjectOfPointer(const std::exception_ptr& object);

// A std::exception_ptr to the object (one more reference on its header), null when empty.
std::exception_ptr ExceptionPtrOf(const TThrownObject& thrown);

// Would a handler for CatchType catch the object? (Pointers are matched by what they point to,
// as the runtime does.)
bool CatchesThrown(const std::type_info& catchType, const TThrownObject& thrown);

// The object's class name as reports show it, "Unknown exception type." for a foreign exception
// (kept for the process's lifetime); its message: Exception::Message, std::exception::what(), or
// empty. The view is valid while the object lives. What these need of the type (its name, where
// its Exception or std::exception part sits, whether it is an EAbort) is worked out once per
// type and kept, so a raise of a known type costs no lock, no allocation and no type search.
const std::string& ThrownClassName(const TThrownObject& thrown);
std::string ThrownMessage(const TThrownObject& thrown);
std::string_view ThrownMessageView(const TThrownObject& thrown);

// True when the object is an EAbort (or a descendant).
bool IsAbort(const TThrownObject& thrown);
bool IsAbort(std::exception_ptr object);

}  // namespace vl::capture
