// The options' fixed tables: the report items that ReportItems switches on and off, and the
// customizable texts with their English defaults and their group/item names.
#pragma once

#include <cstdint>

namespace vl::core {

// Bit numbers of TVantorModuleOptions::ReportItems.
enum TVantorReportItem : uint8_t {
  riAppStartDate = 0,          // Application|Start Date
  riAppName = 1,               // Application|Name
  riAppVersionNumber = 2,      // Application|Version Number
  riAppParameters = 3,         // Application|Parameters
  riExceptDate = 4,            // Exception|Date
  riExceptAddress = 5,         // Exception|Address
  riExceptModule = 6,          // Exception|Module
  riExceptType = 7,            // Exception|Type
  riExceptMessage = 8,         // Exception|Message
  riActiveFormClass = 9,       // Active Controls|Form Class
  riActiveFormText = 10,       // Active Controls|Form Text
  riActiveControlClass = 11,   // Active Controls|Control Class
  riActiveControlText = 12,    // Active Controls|Control Text
  riComputerName = 13,         // Computer|Name
  riComputerUser = 14,         // Computer|User
  riComputerTotalMemory = 15,  // Computer|Total Memory
  riComputerFreeMemory = 16,   // Computer|Free Memory
  riComputerTotalDisk = 17,    // Computer|Total Disk
  riComputerFreeDisk = 18,     // Computer|Free Disk
  riOSType = 19,               // Operating System|Type
  riOSBuildNumber = 20,        // Operating System|Build #
  riOSUpdate = 21,             // Operating System|Update
  riOSLanguage = 22,           // Operating System|Language
};
constexpr int ReportItemCount = 23;
// "Application|Start Date", ... in bit order.
extern const char* const ReportItemNames[ReportItemCount];

// Indexes into TVantorModuleOptions::TextTable.
enum TVantorTextIndex : uint8_t {
  txCaptionInformation = 0,         // Message captions/Information
  txCaptionQuestion = 1,            // Message captions/Question
  txDialogCaption = 2,              // Exception Dialog/Caption
  txDialogErrorMessage = 3,         // Exception Dialog/Error message
  txDialogGeneralCaption = 4,       // Exception Dialog/General Caption
  txDialogGeneralHeader = 5,        // Exception Dialog/General Header
  txDialogCallStackCaption = 6,     // Exception Dialog/Call Stack Caption
  txDialogCallStackHeader = 7,      // Exception Dialog/Call Stack Header
  txDialogModulesListCaption = 8,   // Exception Dialog/Modules List Caption
  txDialogModulesListHeader = 9,    // Exception Dialog/Modules List Header
  txDialogCPUCaption = 10,          // Exception Dialog/CPU Caption
  txDialogCPUHeader = 11,           // Exception Dialog/CPU Header
  txDialogOKButton = 12,            // Exception Dialog/OK Button
  txDialogTerminateButton = 13,     // Exception Dialog/Terminate Button
  txDialogRestartButton = 14,       // Exception Dialog/Restart Button
  txDialogDetailsButton = 15,       // Exception Dialog/Details Button
  txDialogEmailMessage = 16,        // Exception Dialog/Email message
  txDialogScreenshotMessage = 17,   // Exception Dialog/Screenshot message
  txDialogCopyMessage = 18,         // Exception Dialog/Copy message
  txLogApplicationHeader = 19,      // Log/Application Header
  txLogStartDate = 20,              // Log/Start Date
  txLogNameDescription = 21,        // Log/Name/Description
  txLogVersionNumber = 22,          // Log/Version Number
  txLogParameters = 23,             // Log/Parameters
  txLogExceptionHeader = 24,        // Log/Exception Header
  txLogDate = 25,                   // Log/Date
  txLogAddress = 26,                // Log/Address
  txLogModule = 27,                 // Log/Module
  txLogType = 28,                   // Log/Type
  txLogMessage = 29,                // Log/Message
  txLogActiveControlsHeader = 30,   // Log/Active Controls Header
  txLogFormClass = 31,              // Log/Form Class
  txLogFormText = 32,               // Log/Form Text
  txLogControlClass = 33,           // Log/Control Class
  txLogControlText = 34,            // Log/Control Text
  txLogComputerHeader = 35,         // Log/Computer Header
  txLogName = 36,                   // Log/Name
  txLogUser = 37,                   // Log/User
  txLogTotalMemory = 38,            // Log/Total Memory
  txLogFreeMemory = 39,             // Log/Free Memory
  txLogTotalDisk = 40,              // Log/Total Disk
  txLogFreeDisk = 41,               // Log/Free Disk
  txLogOperatingSystemHeader = 42,  // Log/Operating System Header
  txLogOsType = 43,                 // Log/Type
  txLogBuildNumber = 44,            // Log/Build #
  txLogUpdate = 45,                 // Log/Update
  txLogLanguage = 46,               // Log/Language
  txStackAddress = 47,              // Call Stack/Address
  txStackModule = 48,               // Call Stack/Module
  txStackUnit = 49,                 // Call Stack/Unit
  txStackClass = 50,                // Call Stack/Class
  txStackProcedureMethod = 51,      // Call Stack/Procedure/Method
  txStackLine = 52,                 // Call Stack/Line
  txSmtpCaption = 53,               // SMTP Dialog/Caption
  txSmtpMessage = 54,               // SMTP Dialog/Message
  txSmtpResolvingMessage = 55,      // SMTP Dialog/Resolving message
  txSmtpConnectingMessage = 56,     // SMTP Dialog/Connecting message
  txSmtpConnectedMessage = 57,      // SMTP Dialog/Connected message
  txSmtpSendingMessage = 58,        // SMTP Dialog/Sending message
  txReproduceCaption = 59,          // Reproduce Dialog/Caption
  txReproduceRequestMessage = 60,   // Reproduce Dialog/Request message
  txReproduceOKButton = 61,         // Reproduce Dialog/OK Button
  txModulesHandle = 62,             // Modules List/Handle
  txModulesName = 63,               // Modules List/Name
  txModulesDescription = 64,        // Modules List/Description
  txModulesVersion = 65,            // Modules List/Version
  txModulesSize = 66,               // Modules List/Size
  txModulesPath = 67,               // Modules List/Path
  txCpuRegisters = 68,              // CPU/Registers
  txCpuStack = 69,                  // CPU/Stack
  txCpuMemoryDump = 70,             // CPU/Memory Dump
};
constexpr int TextCount = 71;
// The English defaults, CR LF line breaks.
extern const char* const DefaultTexts[TextCount];

// The groups and their items, as one list: "Texts", then each group's name followed by its items'
// names ("Message captions", "Information", "Question", "Exception Dialog", "Caption", ...).
constexpr int TextNameCount = 80;
extern const char* const TextGroupNames[TextNameCount];

// "Group/Name" of a text, e.g. "Log/Application Header"; empty for an index out of range.
const char* TextReference(int index);

}  // namespace vl::core
