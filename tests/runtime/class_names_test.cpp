#include "runtime/class_names.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "runtime/exceptions.h"

using namespace vl;

namespace telephony {
class ELineBusy : public EConvertError {
 public:
  ELineBusy() : EConvertError("busy") {}
};
}  // namespace telephony

class EParseFailure : public std::runtime_error {
 public:
  EParseFailure() : std::runtime_error("bad input") {}
};

struct Plain {};

// Throws Value and returns the type the runtime sees while handling it.
template <class T>
const std::type_info& ThrownType(T value) {
  try {
    throw value;
  } catch (...) {
    return *rtl::CurrentExceptionType();
  }
}

TEST(ClassNames, NamesAndAncestorsOfThrownObjects) {
  const std::type_info& busy = ThrownType(telephony::ELineBusy());
  EXPECT_EQ(rtl::ClassName(busy), "ELineBusy");
  EXPECT_EQ(rtl::QualifiedClassName(busy), "telephony::ELineBusy");
  EXPECT_EQ(rtl::ClassAncestry(busy),
            (std::vector<std::string>{"telephony::ELineBusy", "vl::EConvertError", "vl::Exception",
                                      "std::exception"}));

  const std::type_info& parse = ThrownType(EParseFailure());
  EXPECT_EQ(rtl::ClassName(parse), "EParseFailure");
  EXPECT_EQ(rtl::ClassAncestry(parse),
            (std::vector<std::string>{"EParseFailure", "std::runtime_error", "std::exception"}));

  const std::type_info& av = ThrownType(EAccessViolation("x", 0xC0000005u, 0));
  EXPECT_EQ(rtl::ClassAncestry(av),
            (std::vector<std::string>{"vl::EAccessViolation", "vl::EExternal", "vl::Exception",
                                      "std::exception"}));

  EXPECT_EQ(rtl::ClassAncestry(ThrownType(Plain())), std::vector<std::string>{"Plain"});
  EXPECT_EQ(rtl::ClassName(ThrownType(42)), "int");
}

TEST(ClassNames, InheritsFromNameMatchesAnyAncestorWithoutRegardToCase) {
  const std::type_info& busy = typeid(telephony::ELineBusy);
  EXPECT_TRUE(rtl::InheritsFromName(busy, "ELINEBUSY"));
  EXPECT_TRUE(rtl::InheritsFromName(busy, "telephony::ELineBusy"));
  EXPECT_TRUE(rtl::InheritsFromName(busy, "econverterror"));
  EXPECT_TRUE(rtl::InheritsFromName(busy, "Exception"));
  EXPECT_FALSE(rtl::InheritsFromName(busy, "EAbort"));
  EXPECT_TRUE(rtl::InheritsFromName(typeid(EParseFailure), "runtime_error"));
  EXPECT_FALSE(rtl::InheritsFromName(typeid(EParseFailure), "EConvertError"));
  // The answer is cached per type: asking twice gives the same list object.
  EXPECT_EQ(&rtl::ClassAncestry(busy), &rtl::ClassAncestry(typeid(telephony::ELineBusy)));
}

TEST(ClassNames, NoCurrentExceptionOutsideAHandler) {
  EXPECT_EQ(rtl::CurrentExceptionType(), nullptr);
}

TEST(RuntimeErrors, MessagesOfTheFileAndRegistryErrors) {
  EXPECT_STREQ(EFCreateError("C:\\a\\b.dat", "Access denied.").what(),
               "Cannot create file \"C:\\a\\b.dat\". Access denied.");
  EXPECT_STREQ(EFOpenError("x", "Gone.").what(), "Cannot open file \"x\". Gone.");
  EXPECT_EQ(ERegistryException::CreateKeyFailed("SOFTWARE\\Classes\\ORDALIN").Message,
            "Failed to create key SOFTWARE\\Classes\\ORDALIN");
  EXPECT_EQ(ERegistryException::SetDataFailed("").Message, "Failed to set data for ''");
}
