// One argument of a trace line: a small tagged value that is cheap to build (no allocation, no
// formatting) so that callers can pass their arguments even while tracing is off. Building one
// never reads through a pointer: a zero-terminated text is measured and a polymorphic object's
// class is looked up only when a line is actually written, so a stale or foreign pointer costs
// nothing while tracing is off.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>

namespace vl::core {

enum class TraceArgKind : uint8_t {
  Integer,    // decimal
  Boolean,    // True / False
  Character,  // the character itself
  Float,      // general float-to-text conversion
  Text,       // between single quotes
  Pointer,    // $XXXXXXXX (at least 8 upper-case hex digits) or nil
  Object,     // class name or nil
  Currency,   // fixed point, 4 decimals
  Other       // Unknown
};

class TraceArg {
 public:
  // Integers and enumerations (not bool or char, which have their own kinds).
  template <class T, std::enable_if_t<(std::is_integral_v<T> && !std::is_same_v<T, bool> &&
                                       !std::is_same_v<T, char>) ||
                                          std::is_enum_v<T>,
                                      int> = 0>
  constexpr TraceArg(T value) : Kind(TraceArgKind::Integer) {  // NOLINT: implicit by design
    using U =
        std::conditional_t<std::is_enum_v<T>, std::underlying_type<T>, std::enable_if<true, T>>;
    using V = typename U::type;
    if constexpr (std::is_unsigned_v<V>) {
      V_.Int.Value = static_cast<uint64_t>(value);
      V_.Int.Unsigned = true;
    } else {
      V_.Int.Value = static_cast<uint64_t>(static_cast<int64_t>(value));
      V_.Int.Unsigned = false;
    }
  }
  constexpr TraceArg(bool value) : Kind(TraceArgKind::Boolean) { V_.Bool = value; }
  constexpr TraceArg(char value) : Kind(TraceArgKind::Character) { V_.Char = value; }
  constexpr TraceArg(float value) : Kind(TraceArgKind::Float) { V_.Float = value; }
  constexpr TraceArg(double value) : Kind(TraceArgKind::Float) { V_.Float = value; }
  constexpr TraceArg(long double value) : Kind(TraceArgKind::Float) { V_.Float = value; }
  // Texts are referenced, not copied: the argument must outlive the trace call (it does when
  // it is built in the call's argument list). A zero-terminated text is measured when the line
  // is formatted.
  TraceArg(const char* text) : Kind(TraceArgKind::Text) {
    V_.Text.Data = text;
    V_.Text.Size = kUnmeasured;
  }
  TraceArg(char* text) : TraceArg(static_cast<const char*>(text)) {}
  TraceArg(const std::string& text) : Kind(TraceArgKind::Text) {
    V_.Text.Data = text.data();
    V_.Text.Size = text.size();
  }
  constexpr TraceArg(std::string_view text) : Kind(TraceArgKind::Text) {
    V_.Text.Data = text.data();
    V_.Text.Size = text.size();
  }
  constexpr TraceArg(std::nullptr_t) : Kind(TraceArgKind::Pointer) { V_.Ptr = nullptr; }
  // A pointer to an object of a polymorphic class traces as that object (its dynamic class
  // name); any other pointer traces as an address.
  template <class T>
  TraceArg(T* pointer) : Kind(TraceArgKind::Pointer) {
    if constexpr (std::is_function_v<T>) {
      V_.Ptr = reinterpret_cast<const void*>(pointer);
    } else if constexpr (std::is_polymorphic_v<T>) {
      Kind = TraceArgKind::Object;
      V_.Obj.Object = static_cast<const volatile void*>(pointer);
      V_.Obj.Resolve = &DynamicType<std::remove_cv_t<T>>;
      V_.Obj.Type = nullptr;
    } else {
      V_.Ptr = const_cast<const void*>(static_cast<const volatile void*>(pointer));
    }
  }

  // Explicit kinds.
  static TraceArg Pointer(const void* pointer) {
    TraceArg a(nullptr);
    a.V_.Ptr = pointer;
    return a;
  }
  template <class T>
  static TraceArg Object(const T& object) {
    TraceArg a(nullptr);
    a.Kind = TraceArgKind::Object;
    if constexpr (std::is_polymorphic_v<T>) {
      a.V_.Obj.Object = static_cast<const volatile void*>(&object);
      a.V_.Obj.Resolve = &DynamicType<std::remove_cv_t<T>>;
      a.V_.Obj.Type = nullptr;
    } else {
      a.V_.Obj.Object = nullptr;
      a.V_.Obj.Resolve = nullptr;
      a.V_.Obj.Type = &typeid(T);
    }
    return a;
  }
  static TraceArg Class(const std::type_info* type) {
    TraceArg a(nullptr);
    a.Kind = TraceArgKind::Object;
    a.V_.Obj.Object = nullptr;
    a.V_.Obj.Resolve = nullptr;
    a.V_.Obj.Type = type;
    return a;
  }
  // A currency amount in ten-thousandths (12.5 is 125000).
  static TraceArg Currency(int64_t tenThousandths) {
    TraceArg a(nullptr);
    a.Kind = TraceArgKind::Currency;
    a.V_.Currency = tenThousandths;
    return a;
  }
  static TraceArg Other() {
    TraceArg a(nullptr);
    a.Kind = TraceArgKind::Other;
    return a;
  }

  TraceArgKind kind() const { return Kind; }
  // The argument as it appears in a trace line. This is where texts are measured and objects'
  // classes are looked up.
  std::string Format() const;

 private:
  static constexpr size_t kUnmeasured = static_cast<size_t>(-1);
  template <class T>
  static const std::type_info* DynamicType(const volatile void* object) {
    return &typeid(*static_cast<const T*>(const_cast<const void*>(object)));
  }

  TraceArgKind Kind;
  union Value {
    struct {
      uint64_t Value;
      bool Unsigned;
    } Int;
    bool Bool;
    char Char;
    long double Float;
    struct {
      const char* Data;
      size_t Size;
    } Text;
    const void* Ptr;
    // An object: either its class already known (Type), or the object and how to find its
    // dynamic class when the line is formatted.
    struct {
      const volatile void* Object;
      const std::type_info* (*Resolve)(const volatile void*);
      const std::type_info* Type;
    } Obj;
    int64_t Currency;
    constexpr Value() : Ptr(nullptr) {}
  } V_;
};

static_assert(std::is_trivially_copyable_v<TraceArg>, "trace arguments are plain values");
static_assert(std::is_trivially_destructible_v<TraceArg>, "trace arguments are plain values");

// The framework's general float-to-text conversion: up to 15 significant digits, no trailing
// zeros, scientific notation ("1.5E-5", "1E20") for very large or small magnitudes.
std::string FloatToStr(long double value);
// The currency-to-text conversion: up to 4 decimals, no trailing zeros ("12.5", "-0.0001").
std::string CurrToStr(int64_t tenThousandths);

}  // namespace vl::core
