#include "debuginfo/export_name.h"

#include <gtest/gtest.h>

using namespace vl;

namespace vl {
namespace {

struct Case {
  const char* name;
  uint8_t detail;
  const char *unit, *cls, *proc;
};

TEST(ExportName, DecodesTheKnownShapes) {
  const Case cases[] = {
      {"@Forms@TApplication@Run$qqrv", 3, "Forms.pas", "TApplication", "Run"},
      {"@System@@LStrAsg$qqrpvpxv", 3, "System.pas", "", "_LStrAsg"},
      {"@Sysutils@Exception@$bctr$qqrx17System@AnsiString", 3, "Sysutils.pas", "", "Exception"},
      {"@Classes@TList@Add$qqrpv", 3, "Classes.pas", "TList", "Add"},
      {"@Unit@Proc@$qqrv", 3, "Unit.pas", "", "Proc"},
      {"Forms.TApplication.Run", 3, "Forms.pas", "TApplication", "Run"},
      {"Forms.Run@16", 3, "Forms.pas", "", "Run"},
      {"Unit.@Init", 3, "Unit.pas", "", ""},
      {"MessageBoxA", 2, "", "", "MessageBoxA"},
      {"_ZN4Main3RunEv", 2, "", "", "_ZN4Main3RunEv"},
  };
  for (const Case& c : cases) {
    TExportNameParts parts;
    EXPECT_EQ(DecodeExportName(c.name, parts), c.detail) << c.name;
    EXPECT_EQ(parts.UnitName, c.unit) << c.name;
    EXPECT_EQ(parts.ClassName, c.cls) << c.name;
    EXPECT_EQ(parts.ProcedureName, c.proc) << c.name;
  }
}

TEST(ExportName, NamesThatTellNothing) {
  for (const char* name : {"", "?Run@@YAXXZ", "A.B.C.D", "@Forms@Run", "@$xp$Forms", "@",
                           "@Forms@A@B@C$qqrv", "@NoParts$qqrv"}) {
    TExportNameParts parts{"keep", "keep", "keep"};
    EXPECT_EQ(DecodeExportName(name, parts), 0) << name;
    EXPECT_EQ(parts.UnitName, "keep") << name;
  }
}

}  // namespace
}  // namespace vl
