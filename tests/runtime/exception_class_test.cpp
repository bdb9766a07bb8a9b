// Matching an error's class and its ancestors by name.
#include "runtime/exception_class.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "runtime/exceptions.h"

using namespace vl;

namespace {
class EMyError : public Exception {
  using Exception::Exception;
};
class EMyDerivedError : public EMyError {
  using EMyError::EMyError;
};
}  // namespace

TEST(IsExceptionClass, AncestorsByNameIgnoringCaseAndBlanks) {
  auto error = std::make_exception_ptr(EMyDerivedError("x"));
  EXPECT_TRUE(rtl::IsExceptionClass(error, "  emyerror "));
  EXPECT_TRUE(rtl::IsExceptionClass(error, "EMyDerivedError"));
  EXPECT_TRUE(rtl::IsExceptionClass(error, "Exception"));
  EXPECT_FALSE(rtl::IsExceptionClass(error, "EMyErr"));
  EXPECT_FALSE(rtl::IsExceptionClass(error, "   "));
  EXPECT_FALSE(rtl::IsExceptionClass(std::make_exception_ptr(EMyError("x")), "EMyDerivedError"))
      << "a descendant's name does not match its ancestor";
  EXPECT_FALSE(rtl::IsExceptionClass(std::exception_ptr(), "Exception"));
  EXPECT_TRUE(rtl::IsExceptionClass(std::make_exception_ptr(std::runtime_error("x")), "exception"));
  EXPECT_FALSE(rtl::IsExceptionClass(std::make_exception_ptr(42), "Exception"));
}
