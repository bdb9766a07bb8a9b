// The thrown C++ object behind an unwinder exception, read from the C++ runtime's exception
// header (GCC's libstdc++ layout), and what the capture needs of it without rethrowing: its type,
// a counted reference (std::exception_ptr), its class name and its message.
#pragma once

#include <unwind.h>

#include <exception>
#include <string>
#include <typeinfo>

namespace capture {

struct TThrownObject {
  void* Object = nullptr;                // the primary object (also for rethrow_exception)
  const std::type_info* Type = nullptr;  // null: a foreign exception
};

// The primary object of a C++ exception ("GNUCC++\0", or a dependent one "GNUCC++\x01"); empty
// for anything else.
TThrownObject ThrownObjectOf(_Unwind_Exception* exception);
// The object a std::exception_ptr refers to (its primary object and type), read without
// rethrowing; empty for a null pointer.
TThrownObject ThrownObjectOf(const std::exception_ptr& object);
// Whether the object carries a message of its own (the runtime's Exception or std::exception).
bool HasOwnMessage(const TThrownObject& thrown);

// A std::exception_ptr to the object (one more reference on its header), null when empty.
std::exception_ptr ExceptionPtrOf(const TThrownObject& thrown);

// Would a handler for CatchType catch the object? (Pointers are matched by what they point to,
// as the runtime does.)
bool CatchesThrown(const std::type_info& catchType, const TThrownObject& thrown);

// The object's class name as reports show it (cached per type), "Unknown exception type." for a
// foreign exception; its message: Exception::Message, std::exception::what(), or empty.
std::string ThrownClassName(const TThrownObject& thrown);
std::string ThrownMessage(const TThrownObject& thrown);

// True when the object is an EAbort (or a descendant).
bool IsAbort(const TThrownObject& thrown);
bool IsAbort(std::exception_ptr object);

}  // namespace capture
