#pragma once

namespace corvid {
// What long operations show while they work. The window that shows it belongs to the
// application shell: workers say what to show, never which control shows it.

class progress_view {
 public:
  virtual void status_line_1(const char* text) = 0;
  virtual void status_line_2(const char* text) = 0;
  virtual void file_bar(int percent) = 0;
  virtual void overall_bar(int percent) = 0;
  virtual void title(const char* text) = 0;

 protected:
  ~progress_view() = default;
};

// The shell's view once it has set one (`state.view`); before that, and in tests of the
// workers alone, one that shows nothing.
progress_view& shown_progress();

}  // namespace corvid
