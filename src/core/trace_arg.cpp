#include "core/trace_arg.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "runtime/class_names.h"

namespace vl::core {

std::string FloatToStr(long double value) {
  double v = static_cast<double>(value);
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
  if (v == 0) return "0";
  // 15 significant digits: d.dddddddddddddde[+-]x
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14e", v);
  std::string s(buf);
  bool negative = s[0] == '-';
  if (negative) s.erase(0, 1);
  size_t e = s.find('e');
  int exponent = std::atoi(s.c_str() + e + 1) + 1;  // position of the decimal point
  std::string digits = s.substr(0, 1) + s.substr(2, e - 2);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out = negative ? "-" : "";
  if (exponent > 15 || exponent < -3) {
    out += digits[0];
    if (digits.size() > 1) out += "." + digits.substr(1);
    out += "E" + std::to_string(exponent - 1);
  } else if (exponent <= 0) {
    out += "0." + std::string(static_cast<size_t>(-exponent), '0') + digits;
  } else if (static_cast<size_t>(exponent) >= digits.size()) {
    out += digits + std::string(static_cast<size_t>(exponent) - digits.size(), '0');
  } else {
    out += digits.substr(0, static_cast<size_t>(exponent)) + "." +
           digits.substr(static_cast<size_t>(exponent));
  }
  return out;
}

std::string CurrToStr(int64_t tenThousandths) {
  uint64_t magnitude = tenThousandths < 0 ? 0 - static_cast<uint64_t>(tenThousandths)
                                          : static_cast<uint64_t>(tenThousandths);
  std::string out = tenThousandths < 0 ? "-" : "";
  out += std::to_string(magnitude / 10000);
  unsigned fraction = static_cast<unsigned>(magnitude % 10000);
  if (fraction != 0) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04u", fraction);
    std::string f(buf);
    while (f.back() == '0') f.pop_back();
    out += "." + f;
  }
  return out;
}

std::string TraceArg::Format() const {
  switch (Kind) {
    case TraceArgKind::Integer:
      return V_.Int.Unsigned ? std::to_string(V_.Int.Value)
                             : std::to_string(static_cast<int64_t>(V_.Int.Value));
    case TraceArgKind::Boolean:
      return V_.Bool ? "True" : "False";
    case TraceArgKind::Character:
      return std::string(1, V_.Char);
    case TraceArgKind::Float:
      return FloatToStr(V_.Float);
    case TraceArgKind::Text: {
      if (!V_.Text.Data) return "''";
      size_t size =
          V_.Text.Size == kUnmeasured ? std::char_traits<char>::length(V_.Text.Data) : V_.Text.Size;
      return "'" + std::string(V_.Text.Data, size) + "'";
    }
    case TraceArgKind::Pointer: {
      if (V_.Ptr == nullptr) return "nil";
      char buf[32];
      std::snprintf(buf, sizeof buf, "$%08" PRIXPTR, reinterpret_cast<uintptr_t>(V_.Ptr));
      return buf;
    }
    case TraceArgKind::Object: {
      const std::type_info* type = V_.Obj.Type;
      if (!type && V_.Obj.Object && V_.Obj.Resolve) type = V_.Obj.Resolve(V_.Obj.Object);
      return type ? rtl::ClassName(*type) : "nil";
    }
    case TraceArgKind::Currency:
      return CurrToStr(V_.Currency);
    case TraceArgKind::Other:
      break;
  }
  return "Unknown";
}

}  // namespace vl::core
