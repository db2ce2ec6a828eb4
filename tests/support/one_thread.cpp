#include "tests/support/one_thread.h"

#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "tests/support/emulation.h"

namespace corvid {

namespace {

struct traced {
  const char* file;
  int line;
  std::string text;
};

std::vector<traced>& traces() {
  static std::vector<traced> open;
  return open;
}

// After each failure, the traces open where it happened, innermost first.
class trace_printer : public ::testing::EmptyTestEventListener {
  void OnTestPartResult(const ::testing::TestPartResult& result) override {
    if (!result.failed() || traces().empty()) return;
    std::printf("Trace:\n");
    for (auto it = traces().rbegin(); it != traces().rend(); ++it) {
      std::printf("%s:%d: %s\n", it->file, it->line, it->text.c_str());
    }
    std::fflush(stdout);
  }
};

int threads_of_this_process() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  int count = 0;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  }
  CloseHandle(snapshot);
  return count;
}

// Run after the program's tests: a second thread that got in while they passed is a
// fault of the tests, which under emulation would show only now and then.
class one_thread_check : public ::testing::Environment {
  void TearDown() override {
    // A failure started GoogleTest's watcher thread itself.
    if (!under_emulation || !::testing::UnitTest::GetInstance()->Passed()) return;
    EXPECT_EQ(threads_of_this_process(), 1) << "a thread beside the main one: under emulation the test program must "
                                               "keep to one (tests/support/one_thread.h)";
  }
};

[[maybe_unused]] ::testing::Environment* const check = ::testing::AddGlobalTestEnvironment(new one_thread_check);

}  // namespace

void trace_scope::enter(const char* file, int line, std::string text) {
  static bool printing = false;
  if (!printing) {
    ::testing::UnitTest::GetInstance()->listeners().Append(new trace_printer);
    printing = true;
  }
  traces().push_back({file, line, std::move(text)});
}

trace_scope::~trace_scope() { traces().pop_back(); }

}  // namespace corvid
