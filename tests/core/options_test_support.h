// Helpers shared by the options tests.
#pragma once

#include <string>
#include <vector>

#include "core/byte_stream.h"
#include "core/module_options.h"

using namespace vl;

namespace coretest {

inline std::vector<uint8_t> Save(const TVantorModuleOptions& o) {
  core::TMemoryStream s;
  o.SaveToStream(s);
  return s.Data();
}

inline void Load(TVantorModuleOptions& o, const std::vector<uint8_t>& bytes,
                 uint16_t version = core::OptionsLayoutVersion) {
  core::TMemoryStream s(bytes);
  o.LoadFromStream(s, version);
}

// Every streamed field away from its default, filter lists of unequal length, changed texts.
inline void FillAll(TVantorModuleOptions& o) {
  o.SetReservedFlag(false);
  o.SetFiltersOn(false);
  o.SetHandlingFlags(hfSkipRepeats | hfAskSteps);
  o.SetTellUser(false);
  o.SetReportInBody(true);
  o.SetSendWholeLog(true);
  o.SetAddScreenshot(true);
  o.SetShowSmtpProgress(false);
  o.SetAppendToLog(false);
  o.SetFirstDetailsPage(3);
  o.SetPaintedDialogs(false);
  o.SetWatchdogOn(true);
  o.SetWatchdogSeconds(17);
  o.SetWatchdogMessage("Frozen!");
  o.SetSmtpSender("me@example.net");
  o.SetSmtpServer("smtp.example.net");
  o.SetSmtpServerPort(2525);
  o.SetSmtpUser("user");
  o.SetSmtpLoginPassword("p\xE4ss");
  o.SetThirdButtonAction(tbTerminate);
  o.SetShowThirdButton(false);
  o.SetLogCapacity(7);
  o.SetThirdButtonAfter(-1);
  o.SetMailRecipients("a@example.net;b@example.net");
  o.SetMailSubject("Crash");
  o.SetMailMode(mmDirect);
  o.SetReportItems(0x00400001u);
  o.SetLogLocation("D:\\Logs");
  o.FilterClasses().Add("EAbort");
  o.FilterClasses().Add("EConvertError");
  o.FilterClasses().Add("EOnlyClass");
  o.FilterMessages().Add("");
  o.FilterMessages().Add("Bad number.");
  o.SetMailBodyText("Body\r\nsecond line");
  for (int i = 0; i < core::TextCount; ++i)
    o.SetTextTable(static_cast<uint8_t>(i), "Text #" + std::to_string(i));
}

}  // namespace coretest
