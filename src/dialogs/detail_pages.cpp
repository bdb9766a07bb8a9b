// The detailed view of the exception dialog: geometry from and to the profile, the four tab
// pages, the two lists and the jump to a source line.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <string>

#include "dialogs/cells.h"
#include "dialogs/exception_dialog_state.h"
#include "dialogs/geometry.h"
#include "modules/module_info.h"

namespace vl::dialogs {

namespace {

const char* const PageTemplates[4] = {"TAB_MEMO", "TAB_LIST", "TAB_LIST1", "TAB_MEMO1"};

struct TPageState {
  TExceptionDialogState* Owner = nullptr;
  int Index = 0;
  HIMAGELIST Images = nullptr;
  WNDPROC ListProc = nullptr;
};

TListKind KindOfPage(int index) { return index == 1 ? TListKind::CallStack : TListKind::Modules; }
bool IsListPage(int index) { return index == 1 || index == 2; }

HIMAGELIST CreateImages(TExceptionDialogState& s) {
  HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR24, 4, 4);
  if (!images) throw EDialogError(LastErrorText("ImageList_Create"));
  for (int i = bmLibrary; i <= bmSource; ++i)
    if (s.Bitmaps[i]) ImageList_Add(images, s.Bitmaps[i], nullptr);
  return images;
}

void AddRow(HWND list, int at, const TListRow& row) {
  LVITEMA item = {};
  item.mask = LVIF_TEXT | LVIF_IMAGE;
  item.iItem = at;
  std::string first = row.Cells[0];
  item.pszText = &first[0];
  item.iImage = row.Icon;
  int index =
      static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  if (index < 0) throw EDialogError("A list row could not be added.");
  for (int c = 1; c < 6; ++c) {
    std::string cell = row.Cells[c];
    LVITEMA sub = {};
    sub.iSubItem = c;
    sub.pszText = &cell[0];
    SendMessageA(list, LVM_SETITEMTEXTA, index, reinterpret_cast<LPARAM>(&sub));
  }
}

// Enter on the list activates its row instead of pressing the dialog's default button.
LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* page = reinterpret_cast<TPageState*>(GetPropA(list, "VantorLogPage"));
  WNDPROC original = page ? page->ListProc : nullptr;
  if (!original) return DefWindowProcA(list, message, wParam, lParam);
  try {
    if (message == WM_GETDLGCODE) {
      LRESULT code = CallWindowProcA(original, list, message, wParam, lParam);
      const MSG* msg = reinterpret_cast<const MSG*>(lParam);
      if (msg && msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN) code |= DLGC_WANTALLKEYS;
      return code;
    }
    if (message == WM_NCDESTROY) {
      RemovePropA(list, "VantorLogPage");
      SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
    }
    return CallWindowProcA(original, list, message, wParam, lParam);
  } catch (...) {
    CaptureFailure(page->Owner->Failure, "a list");
    EndDialog(page->Owner->Dialog, 0);
    return 0;
  }
}

void InitList(TPageState& p, HWND page) {
  TExceptionDialogState& s = *p.Owner;
  HWND list = GetDlgItem(page, idPageControl);
  p.Images = CreateImages(s);
  SetControlFont(page, idPageControl, s.Fonts.Fixed);
  const TListKind kind = KindOfPage(p.Index);
  static const core::TVantorTextIndex stackHeaders[6] = {
      core::txStackAddress, core::txStackModule,          core::txStackUnit,
      core::txStackClass,   core::txStackProcedureMethod, core::txStackLine};
  static const core::TVantorTextIndex moduleHeaders[6] = {
      core::txModulesHandle,  core::txModulesName, core::txModulesDescription,
      core::txModulesVersion, core::txModulesSize, core::txModulesPath};
  for (int c = 0; c < ColumnCount; ++c) {
    std::string header =
        s.O.TextTable(kind == TListKind::CallStack ? stackHeaders[c] : moduleHeaders[c]);
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
    bool right = kind == TListKind::CallStack ? c == 5 : (c == 3 || c == 4);
    column.fmt = right ? LVCFMT_RIGHT : LVCFMT_LEFT;
    column.cx = ColumnWidthFromProfile(kind, c, ReadProfileValue(ColumnKey(kind, c).c_str()));
    column.pszText = &header[0];
    column.iSubItem = c;
    SendMessageA(list, LVM_INSERTCOLUMNA, c, reinterpret_cast<LPARAM>(&column));
  }
  SendMessageA(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(p.Images));
  SendMessageA(list, LVM_SETTEXTBKCOLOR, 0, RGB(255, 255, 255));
  SendMessageA(list, LVM_SETBKCOLOR, 0, RGB(255, 255, 255));
  SendMessageA(list, LVM_SETTEXTCOLOR, 0, RGB(0, 0, 0));
  SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  int at = 0;
  if (kind == TListKind::CallStack) {
    for (const TListRow& row : s.In.CallStackRows) AddRow(list, at++, row);
    SetPropA(list, "VantorLogPage", &p);
    p.ListProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ListProc)));
  } else if (s.In.Modules) {
    const modules::TVantorModulesList& list_ = *s.In.Modules;
    for (int i = 0; i < list_.Count(); ++i) {
      const TVantorModuleInfo* m = list_[i];
      if (!m) continue;
      AddRow(list, at++,
             ModuleRow(reinterpret_cast<uintptr_t>(m->Handle), m->FileName, m->Description,
                       m->Version, m->FileSize));
    }
  }
}

void SendSourceJump(HWND list) {
  int row = static_cast<int>(
      SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), MAKELPARAM(LVNI_SELECTED, 0)));
  if (row < 0) return;
  auto cell = [&](int column) {
    char text[256] = {};
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    return std::string(text);
  };
  std::vector<uint8_t> message = SourceJumpMessage(cell(2), cell(5));
  if (message.empty()) return;
  HANDLE slot = CreateFileA(SourceJumpMailslot, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (slot == INVALID_HANDLE_VALUE) return;  // nobody listens
  DWORD written = 0;
  WriteFile(slot, message.data(), static_cast<DWORD>(message.size()), &written, nullptr);
  CloseHandle(slot);
}

void InitPage(TPageState& p, HWND page) {
  TExceptionDialogState& s = *p.Owner;
  static const core::TVantorTextIndex headers[4] = {
      core::txDialogGeneralHeader, core::txDialogCallStackHeader, core::txDialogModulesListHeader,
      core::txDialogCPUHeader};
  if (IsListPage(p.Index)) {
    InitList(p, page);
  } else {
    SetControlFont(page, idPageControl, s.Fonts.Fixed);
    SendDlgItemMessageA(page, idPageControl, EM_LIMITTEXT, 0, 0);
    const std::string& text = p.Index == 0 ? s.In.GeneralBlock : s.In.CpuBlock;
    SetDlgItemTextA(page, idPageControl, text.c_str());
  }
  SetDlgItemTextA(page, idHeaderLabel, s.O.TextTable(headers[p.Index]).c_str());
  SetControlFont(page, idHeaderLabel, s.Fonts.Message);
}

void DestroyList(TPageState& p, HWND page) {
  HWND list = GetDlgItem(page, idPageControl);
  const TListKind kind = KindOfPage(p.Index);
  for (int c = 0; c < ColumnCount; ++c) {
    int width = static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, c, 0));
    WriteProfileValue(ColumnKey(kind, c).c_str(), std::to_string(width));
  }
}

INT_PTR HandlePage(TPageState& p, HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  TExceptionDialogState& s = *p.Owner;
  switch (message) {
    case WM_INITDIALOG:
      InitPage(p, page);
      return FALSE;  // the focus stays where the dialog put it
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == idPageControl) {
        // The read-only memo: opaque black on white.
        SetBkMode(dc, OPAQUE);
        SetBkColor(dc, RGB(255, 255, 255));
        SetTextColor(dc, RGB(0, 0, 0));
        return reinterpret_cast<INT_PTR>(s.White);
      }
      if (!s.Look.On) return FALSE;
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, RGB(0, 0, 0));
      return reinterpret_cast<INT_PTR>(s.Grey);
    }
    case WM_CTLCOLORDLG:
      if (!s.Look.On) return FALSE;
      return reinterpret_cast<INT_PTR>(s.Grey);
    case WM_NOTIFY: {
      const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
      if (p.Index == 1 && header && header->idFrom == idPageControl &&
          header->code == LVN_ITEMACTIVATE) {
        SendSourceJump(header->hwndFrom);
        return Answer(page, 0);
      }
      return FALSE;
    }
    case WM_DESTROY:
      if (IsListPage(p.Index)) DestroyList(p, page);
      return TRUE;
    case WM_NCDESTROY:
      if (p.Images) ImageList_Destroy(p.Images);
      p.Images = nullptr;
      delete &p;
      SetWindowLongPtrA(page, DWLP_USER, 0);
      return TRUE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* p = reinterpret_cast<TPageState*>(GetWindowLongPtrA(page, DWLP_USER));
  if (message == WM_INITDIALOG) {
    p = reinterpret_cast<TPageState*>(lParam);
    SetWindowLongPtrA(page, DWLP_USER, lParam);
  }
  if (!p) return FALSE;
  TExceptionDialogState* owner = p->Owner;
  try {
    return HandlePage(*p, page, message, wParam, lParam);
  } catch (...) {
    CaptureFailure(owner->Failure, "a tab page");
    EndDialog(owner->Dialog, 0);
    return TRUE;
  }
}

}  // namespace

void ShowDetailedView(TExceptionDialogState& s) {
  HWND d = s.Dialog;
  LONG_PTR style = GetWindowLongPtrA(d, GWL_STYLE);
  style |= WS_THICKFRAME | WS_MAXIMIZEBOX | (s.Look.On ? 0 : WS_SYSMENU);
  SetWindowLongPtrA(d, GWL_STYLE, style);
  SetWindowPos(d, nullptr, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  SetDlgItemTextA(d, idDetailsButton, ("<< " + s.O.TextTable(core::txDialogDetailsButton)).c_str());
  SetDlgItemTextA(d, idMessageLabel, s.O.TextTable(core::txDialogErrorMessage).c_str());

  // Sizes recorded in the compact view are not the detailed window's: forget them, so that a
  // view opened maximized saves nothing rather than the compact size.
  s.Record = TGeometryRecord();
  TSavedGeometry saved{ReadProfileValue("Width"), ReadProfileValue("Height"),
                       ReadProfileValue("Left"), ReadProfileValue("Top"),
                       ReadProfileValue("WindowsState")};
  TDetailedPlacement p = PlaceDetailed(saved, GetSystemMetrics(SM_CXSCREEN),
                                       GetSystemMetrics(SM_CYSCREEN), s.CheckboxArea);
  ShowWindow(GetDlgItem(d, idTabs), SW_SHOWNA);
  WINDOWPLACEMENT placement = {};
  placement.length = sizeof placement;
  GetWindowPlacement(d, &placement);
  placement.showCmd = p.State == wsMaximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
  placement.rcNormalPosition = {p.Window.Left, p.Window.Top, p.Window.Right(), p.Window.Bottom()};
  SetWindowPlacement(d, &placement);
}

void SaveGeometry(TExceptionDialogState& s) {
  auto entries = GeometryToSave(s.Record, s.CheckboxArea);
  if (!entries) return;
  for (const TProfileEntry& e : *entries) WriteProfileValue(e.Key, e.Value);
}

void SelectPage(TExceptionDialogState& s, int index) {
  if (index < 0 || index > 3) return;
  DestroyPage(s);
  auto* p = new TPageState;
  p->Owner = &s;
  p->Index = index;
  HWND tabs = GetDlgItem(s.Dialog, idTabs);
  HWND page = CreateDialogParamA(ResourceModule(), PageTemplates[index], tabs, PageProc,
                                 reinterpret_cast<LPARAM>(p));
  if (!page) {
    // A page whose initialisation failed was destroyed with its state; one that never got
    // WM_INITDIALOG still owns nothing.
    if (!s.Failure.Failed) {
      delete p;
      throw EDialogError(LastErrorText("CreateDialogParam"));
    }
    return;
  }
  s.Page = page;
  s.PageIndex = index;
  FitPage(s);
  if (s.In.PageCreated) s.In.PageCreated(index);
}

void FitPage(TExceptionDialogState& s) {
  if (!s.Page) return;
  HWND tabs = GetDlgItem(s.Dialog, idTabs);
  RECT area;
  GetClientRect(tabs, &area);
  SendMessageA(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
  const int left = area.left - 3, top = area.top - 1;
  const int width = area.right - left, height = area.bottom - top;
  MoveWindow(s.Page, left, top, width, height, TRUE);
  if (HWND control = GetDlgItem(s.Page, idPageControl))
    MoveWindow(control, area.left, 20, width - 8, height - 24, TRUE);
}

void DestroyPage(TExceptionDialogState& s) {
  if (s.Page) DestroyWindow(s.Page);
  s.Page = nullptr;
  s.PageIndex = -1;
}

}  // namespace vl::dialogs
