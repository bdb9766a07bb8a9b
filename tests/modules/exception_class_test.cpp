// Matching an error's class and its ancestors by name.
#include "modules/exception_class.h"

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
  EXPECT_TRUE(modules::IsExceptionClass(error, "  emyerror "));
  EXPECT_TRUE(modules::IsExceptionClass(error, "EMyDerivedError"));
  EXPECT_TRUE(modules::IsExceptionClass(error, "Exception"));
  EXPECT_FALSE(modules::IsExceptionClass(error, "EMyErr"));
  EXPECT_FALSE(modules::IsExceptionClass(error, "   "));
  EXPECT_FALSE(modules::IsExceptionClass(std::make_exception_ptr(EMyError("x")), "EMyDerivedError"))
      << "a descendant's name does not match its ancestor";
  EXPECT_FALSE(modules::IsExceptionClass(std::exception_ptr(), "Exception"));
  EXPECT_TRUE(
      modules::IsExceptionClass(std::make_exception_ptr(std::runtime_error("x")), "exception"));
  EXPECT_FALSE(modules::IsExceptionClass(std::make_exception_ptr(42), "Exception"));
}
