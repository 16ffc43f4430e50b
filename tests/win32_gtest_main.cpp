// GoogleTest main of the Windows test programs. The stock result printer hands every
// failure and skip to OutputDebugStringA as well; Wine raises an exception for that, and
// Wine run through qemu's i386 emulator dies of it. This printer writes the same lines
// and leaves the debugger channel alone; everything else goes to the stock printer.
#include <gtest/gtest.h>

#include <cstdio>

#include "sys/ui.h"
#include "ui/strings.h"

namespace {

using namespace ::testing;

class NoDebuggerPrinter : public TestEventListener {
 public:
  explicit NoDebuggerPrinter(TestEventListener* stock) : stock_(stock) {}
  ~NoDebuggerPrinter() override { delete stock_; }

  void OnTestPartResult(const TestPartResult& result) override {
    if (result.type() == TestPartResult::kSuccess) return;
    const char* kind = result.type() == TestPartResult::kSkip ? "Skipped" : "Failure";
    if (result.file_name())
      std::printf("%s:%d: %s\n%s\n", result.file_name(), result.line_number(), kind, result.message());
    else
      std::printf("unknown file: %s\n%s\n", kind, result.message());
    std::fflush(stdout);
  }

  void OnTestProgramStart(const UnitTest& u) override { stock_->OnTestProgramStart(u); }
  void OnTestIterationStart(const UnitTest& u, int i) override { stock_->OnTestIterationStart(u, i); }
  void OnEnvironmentsSetUpStart(const UnitTest& u) override { stock_->OnEnvironmentsSetUpStart(u); }
  void OnEnvironmentsSetUpEnd(const UnitTest& u) override { stock_->OnEnvironmentsSetUpEnd(u); }
  void OnTestSuiteStart(const TestSuite& s) override { stock_->OnTestSuiteStart(s); }
#ifndef GTEST_REMOVE_LEGACY_TEST_CASEAPI_
  void OnTestCaseStart(const TestCase& c) override { stock_->OnTestCaseStart(c); }
  void OnTestCaseEnd(const TestCase& c) override { stock_->OnTestCaseEnd(c); }
#endif
  void OnTestStart(const TestInfo& t) override { stock_->OnTestStart(t); }
  void OnTestDisabled(const TestInfo& t) override { stock_->OnTestDisabled(t); }
  void OnTestEnd(const TestInfo& t) override { stock_->OnTestEnd(t); }
  void OnTestSuiteEnd(const TestSuite& s) override { stock_->OnTestSuiteEnd(s); }
  void OnEnvironmentsTearDownStart(const UnitTest& u) override { stock_->OnEnvironmentsTearDownStart(u); }
  void OnEnvironmentsTearDownEnd(const UnitTest& u) override { stock_->OnEnvironmentsTearDownEnd(u); }
  void OnTestIterationEnd(const UnitTest& u, int i) override { stock_->OnTestIterationEnd(u, i); }
  void OnTestProgramEnd(const UnitTest& u) override { stock_->OnTestProgramEnd(u); }

 private:
  TestEventListener* stock_;
};

}  // namespace

int main(int argc, char** argv) {
  sys::setStringFallback(englishString);
  InitGoogleTest(&argc, argv);
  TestEventListeners& listeners = UnitTest::GetInstance()->listeners();
  if (TestEventListener* stock = listeners.default_result_printer())
    listeners.Append(new NoDebuggerPrinter(listeners.Release(stock)));
  return RUN_ALL_TESTS();
}
