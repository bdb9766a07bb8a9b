// What a module publishes in its virtual files for the other modules of the process.
#include "publishing/published_data.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <vector>

#include "platform/module_file.h"
#include "publishing/virtual_file.h"
#include "runtime/exceptions.h"

using namespace vl;

using publishing::PublishedText;
using publishing::ReadPublishedException;

namespace {
class EPublishedError : public Exception {
  using Exception::Exception;
};
}  // namespace

TEST(PublishedData, ExceptionClassAndMessageOnceEach) {
  HMODULE self = platform::CrashReporterModule();
  std::string name, message;
  publishing::CreateOwnVirtualFiles();
  EXPECT_FALSE(ReadPublishedException(self, name, message)) << "created empty";

  publishing::PublishException(std::make_exception_ptr(EPublishedError("disk full\r\n")));
  ASSERT_TRUE(ReadPublishedException(self, name, message));
  EXPECT_EQ(name, "EPublishedError");
  EXPECT_EQ(message, "disk full");
  EXPECT_FALSE(ReadPublishedException(self, name, message)) << "the flag is cleared on reading";

  publishing::PublishException(std::exception_ptr());
  ASSERT_TRUE(ReadPublishedException(self, name, message));
  EXPECT_EQ(name, "Unknown exception type.");
  EXPECT_EQ(message, "Unknown error message.");

  publishing::PublishException(std::make_exception_ptr(42));
  ASSERT_TRUE(ReadPublishedException(self, name, message));
  EXPECT_EQ(message, "Unknown error message.") << "not an Exception";

  // A block whose string lengths run past its end yields nothing and is not read past.
  publishing::PublishException(std::make_exception_ptr(EPublishedError("x")));
  uint8_t* data = nullptr;
  HANDLE file = publishing::CreateVirtualFile(self, publishing::kExceptFileName, 0, data);
  ASSERT_TRUE(file);
  uint32_t huge = 0x7FFFFFF0;
  std::memcpy(data + 1, &huge, 4);
  publishing::DeleteVirtualFile(file, data);
  name = message = "kept";
  EXPECT_FALSE(ReadPublishedException(self, name, message));
  EXPECT_EQ(name + message, "keptkept");

  EXPECT_FALSE(ReadPublishedException(reinterpret_cast<HMODULE>(uintptr_t{0x7000}), name, message))
      << "a module that publishes nothing";
  publishing::DeleteOwnVirtualFiles();
  EXPECT_FALSE(ReadPublishedException(self, name, message));
}

TEST(PublishedData, CrLfRuleAndPublishedOptions) {
  EXPECT_EQ(PublishedText("ABC\r\n"), "ABC");
  EXPECT_EQ(PublishedText("A\r\nB\r\n"), "A\r\nB\r\n") << "the first CR LF is not the last";
  EXPECT_EQ(PublishedText("\r\n"), "");
  EXPECT_EQ(PublishedText("\n"), "\n");

  publishing::PublishModuleOptions(reinterpret_cast<const uint8_t*>("stream"), 6);
  uint8_t* data = nullptr;
  HANDLE file = publishing::CreateVirtualFile(platform::CrashReporterModule(),
                                              publishing::kModuleFileName, 0, data);
  ASSERT_TRUE(file);
  ASSERT_EQ(publishing::VirtualFileDataSize(data), 7u);
  EXPECT_EQ(data[0], 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data + 1), 6), "stream");
  publishing::DeleteVirtualFile(file, data);
  publishing::DeleteOwnVirtualFiles();
}

// Another module keeps this module's small "MODULE" block open, so a rewrite gets that block
// back from the system: larger options must not be copied past its end.
// The raise hook's path: written in place while the record fits the open block, into a new
// block when it does not; the CR LF rule as for PublishException.
TEST(PublishedData, ExceptionTextInPlaceAndBeyondTheOpenBlock) {
  const HMODULE self = platform::CrashReporterModule();
  publishing::CreateOwnVirtualFiles();
  std::string name, message;
  const std::string longText(5000, 'm');
  const struct {
    std::string className, message, readName, readMessage;
  } rows[] = {
      {"EFirst", "first\r\n", "EFirst", "first"},  // a new block (the created one holds 1 byte)
      {"ESecond", "", "ESecond", ""},              // in place, shorter than the one before
      {"EThird", longText, "EThird", longText},    // beyond the block: a bigger one
      {"EFourth", "A\r\nB\r\n", "EFourth", "A\r\nB\r\n"},
  };
  for (const auto& row : rows) {
    publishing::PublishExceptionText(row.className, row.message);
    ASSERT_TRUE(ReadPublishedException(self, name, message)) << row.className;
    EXPECT_EQ(name, row.readName);
    EXPECT_EQ(message, row.readMessage) << row.className;
    EXPECT_FALSE(ReadPublishedException(self, name, message)) << row.className;
  }
  publishing::DeleteOwnVirtualFiles();
}

TEST(PublishedData, ABlockHeldOpenByAnotherHolderIsNotOverrun) {
  const HMODULE self = platform::CrashReporterModule();
  publishing::CreateOwnVirtualFiles();
  uint8_t* held = nullptr;
  size_t heldSize = 0;
  HANDLE holder =
      publishing::CreateVirtualFile(self, publishing::kModuleFileName, 0, held, &heldSize);
  ASSERT_TRUE(holder);
  ASSERT_EQ(heldSize, 1u);

  const std::vector<uint8_t> stream(256 * 1024, 0x5A);  // far past the block's pages
  publishing::PublishModuleOptions(stream.data(), stream.size());
  EXPECT_EQ(held[0], 0) << "the held block keeps its contents";
  EXPECT_EQ(publishing::VirtualFileDataSize(held), 1u);

  // Small enough to fit: published into the held block.
  publishing::PublishModuleOptions(reinterpret_cast<const uint8_t*>(""), 0);
  EXPECT_EQ(held[0], 1);
  publishing::DeleteVirtualFile(holder, held);
  publishing::DeleteOwnVirtualFiles();
}
