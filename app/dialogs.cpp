#include "app/dialogs.h"

#include <io.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/handles.h"
#include "app/resources/resource_ids.h"
#include "core/update_state.h"
#include "text/line_source.h"

namespace corvid {

namespace {

void append_to_notes(HWND edit, const char* text) {
  SendMessageA(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
}

// Every line is shown, the last one too when the file does not end with a line feed:
// the player should see the whole of the notes.
void fill_notes(HWND dialog) {
  SetWindowTextA(dialog, text_of(message::notes_caption));
  SetDlgItemTextA(dialog, IDOK, text_of(message::notes_ok));
  SetDlgItemTextA(dialog, IDCANCEL, text_of(message::cancel));
  if (_access(notes_file, 0) != 0) {
    EndDialog(dialog, 1);
    return;
  }
  HWND edit = GetDlgItem(dialog, IDC_NOTES_TEXT);
  // An edit control takes some 30,000 characters by default, far fewer than 10,000
  // lines of notes; lift the limit so that no line the player should see is dropped.
  SendMessageA(edit, EM_LIMITTEXT, 0, 0);
  SendMessageA(edit, EM_FMTLINES, TRUE, 0);
  stdio_file file(std::fopen(notes_file, "r"));
  if (!file) {
    EndDialog(dialog, 1);
    return;
  }
  // The lines are gathered and put in with one replacement: line by line, the edit
  // control re-lays out its whole text each time, which takes minutes for long notes.
  std::string notes;
  fixed_text<1024> line;
  line_source lines(file.get(), line_ends::as_read);
  for (int shown = 0; shown < most_notes_lines; ++shown) {
    // A line longer than the buffer goes on in the next read, as a line of its own.
    if (!lines.next(line, long_line::split)) break;
    notes.append(line.view()).append("\r\r\n");
  }
  append_to_notes(edit, notes.c_str());
}

}  // namespace

INT_PTR CALLBACK prompt_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      SetWindowTextA(dialog, text_of(message::program_name));
      SetDlgItemTextA(dialog, IDC_COMPLETE_CHECK, text_of(message::complete_check_question));
      SetDlgItemTextA(dialog, IDOK, text_of(message::prompt_ok));
      SetDlgItemTextA(dialog, IDCANCEL, text_of(message::cancel));
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDOK:
          state.complete_file_check_flag =
              SendDlgItemMessageA(dialog, IDC_COMPLETE_CHECK, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
          EndDialog(dialog, 1);
          return TRUE;
        case IDCANCEL: EndDialog(dialog, 2); return TRUE;
        default: return FALSE;
      }
    case WM_CLOSE:
    case WM_DESTROY:
    case WM_SHOWWINDOW: return TRUE;
    default: return FALSE;
  }
}

INT_PTR CALLBACK notes_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: fill_notes(dialog); return TRUE;
    case WM_SHOWWINDOW: {
      HWND edit = GetDlgItem(dialog, IDC_NOTES_TEXT);
      SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);
      SendMessageA(edit, EM_SETSEL, static_cast<WPARAM>(-1), 0);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wparam));
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
    case WM_DESTROY: return TRUE;
    default: return FALSE;
  }
}

}  // namespace corvid
