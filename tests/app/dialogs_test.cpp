#include "app/dialogs.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "app/resources/resource_ids.h"
#include "core/update_state.h"
#include "tests/support/client_test.h"

namespace corvid {

namespace {

// Shows a dialog of this test process modally, the way the driver does, and plays the
// player from within its modal loop: the dialog is handed to `act` once it shows.
class modal_dialog_test : public client_test {
 protected:
  INT_PTR show(int template_id, DLGPROC procedure, const std::function<void(HWND)>& act) {
    dialog_watch player(act);
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(template_id), nullptr, procedure, 0);
  }

  static std::string text_of(HWND dialog, int id) {
    std::string text(200000, '\0');
    int length = GetDlgItemTextA(dialog, id, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(length));
    return text;
  }

  static void command(HWND dialog, int id) { PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
};

using prompt_test = modal_dialog_test;
using notes_test = modal_dialog_test;

TEST_F(prompt_test, ok_takes_the_check_box_and_cancel_ends_with_2) {
  std::string check_text, ok_text;
  INT_PTR result = show(IDD_PROMPT, prompt_procedure, [&](HWND dialog) {
    check_text = text_of(dialog, IDC_COMPLETE_CHECK);
    ok_text = text_of(dialog, IDOK);
    EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_COMPLETE_CHECK, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    SendDlgItemMessageA(dialog, IDC_COMPLETE_CHECK, BM_SETCHECK, BST_CHECKED, 0);
    command(dialog, IDOK);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(state.complete_file_check_flag, 1);
  EXPECT_EQ(check_text, "Do complete file-check (this may take a few minutes).");
  EXPECT_EQ(ok_text, "OK");

  EXPECT_EQ(show(IDD_PROMPT, prompt_procedure, [&](HWND dialog) { command(dialog, IDCANCEL); }), 2);
}

TEST_F(prompt_test, escape_cancels_and_closing_through_the_window_manager_does_nothing) {
  bool survived_close = false;
  INT_PTR result = show(IDD_PROMPT, prompt_procedure, [&](HWND dialog) {
    SendMessageA(dialog, WM_CLOSE, 0, 0);
    survived_close = IsWindowVisible(dialog) != FALSE;
    PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 1);
  });
  EXPECT_TRUE(survived_close);
  EXPECT_EQ(result, 2);
  EXPECT_EQ(state.complete_file_check_flag, 0);
}

TEST_F(prompt_test, enter_takes_the_ok_path_with_the_box_unticked) {
  state.complete_file_check_flag = 1;
  INT_PTR result =
      show(IDD_PROMPT, prompt_procedure, [&](HWND dialog) { PostMessageA(dialog, WM_KEYDOWN, VK_RETURN, 1); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(state.complete_file_check_flag, 0);
}

TEST_F(notes_test, shows_every_line_with_its_break_including_an_empty_one_and_a_last_without_line_feed) {
  folder_.write("readme.txt", "first\n\nthird\nlast without line feed");
  std::string notes, caption, play;
  INT_PTR result = show(IDD_NOTES, notes_procedure, [&](HWND dialog) {
    notes = text_of(dialog, IDC_NOTES_TEXT);
    caption.resize(64);
    caption.resize(static_cast<size_t>(GetWindowTextA(dialog, caption.data(), 64)));
    play = text_of(dialog, IDOK);
    command(dialog, IDOK);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(caption, "Update Notes");
  EXPECT_EQ(play, "OK");
  EXPECT_EQ(notes, "first\r\r\n\r\r\nthird\r\r\nlast without line feed\r\r\n");
}

TEST_F(notes_test, shows_at_most_10000_lines) {
  std::string text;
  for (int i = 0; i < 10005; ++i) text += std::to_string(i) + "\n";
  folder_.write("readme.txt", text);
  std::string notes;
  INT_PTR result = show(IDD_NOTES, notes_procedure, [&](HWND dialog) {
    notes = text_of(dialog, IDC_NOTES_TEXT);
    command(dialog, IDCANCEL);
  });
  EXPECT_EQ(result, 2);
  EXPECT_NE(notes.find("\r\r\n9999\r\r\n"), std::string::npos);
  EXPECT_EQ(notes.find("10000"), std::string::npos);
}

TEST_F(notes_test, without_notes_the_dialog_ends_with_play_at_once) {
  EXPECT_EQ(show(IDD_NOTES, notes_procedure, [](HWND dialog) { command(dialog, IDCANCEL); }), 1);
}

TEST_F(notes_test, an_empty_notes_file_gives_an_empty_dialog_with_working_buttons) {
  folder_.write("readme.txt", "");
  std::string notes = "unset";
  bool survived_close = false;
  INT_PTR result = show(IDD_NOTES, notes_procedure, [&](HWND dialog) {
    notes = text_of(dialog, IDC_NOTES_TEXT);
    SendMessageA(dialog, WM_CLOSE, 0, 0);
    survived_close = IsWindowVisible(dialog) != FALSE;
    command(dialog, IDCANCEL);
  });
  EXPECT_EQ(result, 2);
  EXPECT_TRUE(survived_close);
  EXPECT_EQ(notes, "");
}

}  // namespace

}  // namespace corvid
