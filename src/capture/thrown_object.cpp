#include "capture/thrown_object.h"

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <map>

#include "runtime/class_names.h"
#include "runtime/exceptions.h"

namespace capture {

namespace {

// libstdc++'s exception headers (unwind-cxx.h), in front of the unwinder's record.
struct TCxaException {
  std::type_info* exceptionType;
  void (*exceptionDestructor)(void*);
  void (*unexpectedHandler)();
  void (*terminateHandler)();
  TCxaException* nextException;
  int handlerCount;
  int handlerSwitchValue;
  const unsigned char* actionRecord;
  const unsigned char* languageSpecificData;
  _Unwind_Ptr catchTemp;
  void* adjustedPtr;
  _Unwind_Exception unwindHeader;
};
struct TCxaRefcounted {
  int referenceCount;
  TCxaException exc;
};
struct TCxaDependent {
  void* primaryException;
  void (*padding)(void*);
  void (*unexpectedHandler)();
  void (*terminateHandler)();
  TCxaException* nextException;
  int handlerCount;
  int handlerSwitchValue;
  const unsigned char* actionRecord;
  const unsigned char* languageSpecificData;
  _Unwind_Ptr catchTemp;
  void* adjustedPtr;
  _Unwind_Exception unwindHeader;
};

constexpr uint64_t ClassOf(const char (&name)[9]) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = (v << 8) | static_cast<uint8_t>(name[i]);
  return v;
}
constexpr uint64_t PrimaryClass = ClassOf("GNUCC++\0");
constexpr uint64_t DependentClass = ClassOf("GNUCC++\1");

TCxaException* HeaderOfObject(void* object) { return static_cast<TCxaException*>(object) - 1; }

CRITICAL_SECTION* NamesLock() {
  static CRITICAL_SECTION* lock = [] {
    auto* cs = new CRITICAL_SECTION;
    InitializeCriticalSection(cs);
    return cs;
  }();
  return lock;
}

}  // namespace

TThrownObject ThrownObjectOf(_Unwind_Exception* exception) {
  TThrownObject result;
  if (!exception) return result;
  const uint64_t kind = exception->exception_class;
  if (kind == PrimaryClass) {
    auto* header = reinterpret_cast<TCxaException*>(reinterpret_cast<char*>(exception) -
                                                    offsetof(TCxaException, unwindHeader));
    result.Object = header + 1;
    result.Type = header->exceptionType;
  } else if (kind == DependentClass) {
    auto* dependent = reinterpret_cast<TCxaDependent*>(reinterpret_cast<char*>(exception) -
                                                       offsetof(TCxaDependent, unwindHeader));
    result.Object = dependent->primaryException;
    if (result.Object) result.Type = HeaderOfObject(result.Object)->exceptionType;
  }
  return result;
}

TThrownObject ThrownObjectOf(const std::exception_ptr& object) {
  TThrownObject result;
  if (!object) return result;
  // libstdc++'s exception_ptr is one pointer to the primary object.
  static_assert(sizeof(std::exception_ptr) == sizeof(void*), "libstdc++'s exception_ptr");
  std::memcpy(&result.Object, &object, sizeof(void*));
  result.Type = object.__cxa_exception_type();
  return result;
}

bool HasOwnMessage(const TThrownObject& thrown) {
  return CatchesThrown(typeid(Exception), thrown) || CatchesThrown(typeid(std::exception), thrown);
}

std::exception_ptr ExceptionPtrOf(const TThrownObject& thrown) {
  std::exception_ptr result;
  if (!thrown.Object) return result;
  static_assert(sizeof(std::exception_ptr) == sizeof(void*), "libstdc++'s exception_ptr");
  auto* counted = reinterpret_cast<TCxaRefcounted*>(
      reinterpret_cast<char*>(HeaderOfObject(thrown.Object)) - offsetof(TCxaRefcounted, exc));
  __atomic_add_fetch(&counted->referenceCount, 1, __ATOMIC_ACQ_REL);
  // The pointer now owns the reference just taken (its destructor gives it back).
  void* object = thrown.Object;
  std::memcpy(static_cast<void*>(&result), &object, sizeof object);
  return result;
}

bool CatchesThrown(const std::type_info& catchType, const TThrownObject& thrown) {
  if (!thrown.Type || !thrown.Object) return false;
  void* adjusted = thrown.Object;
  if (thrown.Type->__is_pointer_p()) adjusted = *static_cast<void**>(adjusted);
  return catchType.__do_catch(thrown.Type, &adjusted, 1);
}

std::string ThrownClassName(const TThrownObject& thrown) {
  if (!thrown.Type) return "Unknown exception type.";
  static std::map<const std::type_info*, std::string>* cache =
      new std::map<const std::type_info*, std::string>();
  std::string name;
  EnterCriticalSection(NamesLock());
  auto it = cache->find(thrown.Type);
  const bool known = it != cache->end();
  if (known) name = it->second;
  LeaveCriticalSection(NamesLock());
  if (known) return name;
  name = rtl::ClassName(*thrown.Type);
  EnterCriticalSection(NamesLock());
  cache->emplace(thrown.Type, name);
  LeaveCriticalSection(NamesLock());
  return name;
}

std::string ThrownMessage(const TThrownObject& thrown) {
  if (!thrown.Type || !thrown.Object || thrown.Type->__is_pointer_p()) return "";
  void* adjusted = thrown.Object;
  if (typeid(Exception).__do_catch(thrown.Type, &adjusted, 1)) {
    return static_cast<const Exception*>(adjusted)->Message;
  }
  adjusted = thrown.Object;
  if (typeid(std::exception).__do_catch(thrown.Type, &adjusted, 1)) {
    return static_cast<const std::exception*>(adjusted)->what();
  }
  return "";
}

bool IsAbort(const TThrownObject& thrown) { return CatchesThrown(typeid(EAbort), thrown); }

bool IsAbort(std::exception_ptr object) {
  if (!object) return false;
  try {
    std::rethrow_exception(object);
  } catch (const EAbort&) {
    return true;
  } catch (...) {
  }
  return false;
}

}  // namespace capture
