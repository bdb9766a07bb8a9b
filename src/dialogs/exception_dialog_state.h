// The open exception dialog's state, shared by the dialog procedure and its tab pages.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "dialogs/dialog_input.h"
#include "dialogs/dialog_support.h"
#include "dialogs/geometry.h"

namespace vl::dialogs {

enum : int {
  idOkButton = 2,
  idTerminateButton = 3,
  idDetailsButton = 4,
  idMessageLabel = 101,
  idHeaderLabel = 102,
  idPageControl = 103,
  idTabs = 1000,
  idSeparator = 2000,
  idSendBox = 3000,
  idScreenshotBox = 4000,
  idCopyBox = 5000,
};

enum TBitmapIndex { bmLibrary, bmPackage, bmExecutable, bmSource, bmMonitor, BitmapCount };

struct TExceptionDialogState {
  explicit TExceptionDialogState(const TDialogInput& input) : In(input), O(*input.Options) {}
  const TDialogInput& In;
  const TVantorModuleOptions& O;
  TDialogFlags Flags;
  bool SendAllowed = false;
  bool ScreenshotAllowed = false;
  int CheckboxArea = 20;
  bool Detailed = false;
  bool Painted = false;
  TLookState Look;
  TDialogFonts Fonts;
  HBRUSH Grey = nullptr;
  HBRUSH White = nullptr;
  HBITMAP Bitmaps[BitmapCount] = {};
  SIZE MonitorSize = {};
  TGeometryRecord Record;
  HWND Dialog = nullptr;
  HWND Page = nullptr;
  int PageIndex = -1;
  TDialogFailure Failure;
};

// Detailed view and pages (detail_pages.cpp).
void ShowDetailedView(TExceptionDialogState& s);
void SaveGeometry(TExceptionDialogState& s);
void SelectPage(TExceptionDialogState& s, int index);
void FitPage(TExceptionDialogState& s);
void DestroyPage(TExceptionDialogState& s);

}  // namespace vl::dialogs
