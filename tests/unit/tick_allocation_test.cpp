// Counts heap allocations around ticks: a tick must never allocate, not even
// when its send fails.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "app/form_shell.h"
#include "app/run_report.h"
#include "config/settings_file.h"
#include "kit/fakes.h"

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace zq {
namespace {

struct CountedLines : ReportLines {
  long lines = 0;
  void Line(std::string_view) override { ++lines; }
};

// Sends always fail without allocating.
struct FailingSender : DatagramSender {
  SendResult Send(const char*, size_t) override { return {SendResult::Kind::sendFailed, 10054}; }
};

TEST(TickAllocation, BusyAndFailingTicksAndTheirReportDoNotAllocate) {
  test::FakeDevices dev;
  dev.recordPolls = false;
  test::NullView view;
  FailingSender udp;
  CurveBank bank;
  AnswerWatch answers(dev);
  TForm1 form(bank, answers, view, udp);
  test::CountingReport report;
  CreateForm(form,
             ProfileTextSettings("[main]\nYaxis=0 1\nXaxis=0 0\nZaxis=0 2\nTrimAxis=1 0\n"
                                 "PowerPlus=-1 80\nfire=-1 70\nY1=0 50\ncurvedown=-1 67\n"
                                 "flapsdown=-1 68\nusetrim=-1 85\n"),
             NoKeyCharMap(), {1920, 1080}, report);
  CountedLines lines;
  RunReport run(lines);
  auto tick = [&] {
    TickOutcome outcome = RunTick(form, report);
    run.AfterTick(form.State().bindings, form.State().joyUsed, answers.Answered(), outcome);
  };
  // The first failed send writes its line; from then on the report is quiet.
  dev.Axis(0, 1, 0);
  dev.Axis(1, 0, 0);
  tick();
  ASSERT_EQ(lines.lines, 1);
  long before = allocations.load();
  for (int t = 0; t < 2000; ++t) {
    uint32_t wave = static_cast<uint32_t>((t * 997) % 65536);
    dev.Axis(0, 0, wave);
    dev.Axis(0, 1, 65535 - wave);
    dev.Axis(0, 2, wave / 2);
    dev.Axis(1, 0, wave);
    dev.keys[80] = (t % 50 < 25) ? 128 : 0;
    dev.keys[70] = (t % 3) ? 128 : 0;
    dev.keys[67] = (t % 7 == 0) ? 128 : 0;
    dev.keys[68] = (t % 11 == 0) ? 128 : 0;
    dev.keys[85] = (t % 13 == 0) ? 128 : 0;
    tick();
  }
  EXPECT_EQ(allocations.load() - before, 0);
  EXPECT_EQ(lines.lines, 1);
  EXPECT_GT(report.reports, 1000);
}

TEST(TickAllocation, PinnedSticksChangingPortsDoNotAllocate) {
  test::FakeDevices dev;
  dev.recordPolls = false;
  test::NullView view;
  FailingSender udp;
  CurveBank bank;
  TForm1 form(bank, dev, view, udp);
  test::CountingReport report;
  CreateForm(form,
             ProfileTextSettings("[main]\nYaxis=0 1\nXaxis=1 0\n[sticks]\n"
                                 "0=044f:b10a \"Stick\" serial=A\n1=06a3:0763 \"Throttle\"\n"),
             NoKeyCharMap(), {1920, 1080}, report);
  StickIdentity stick, throttle;
  stick.vendor = 0x044f;
  stick.product = 0xb10a;
  stick.name.Append("Stick");
  stick.serial.Append("A");
  throttle.vendor = 0x06a3;
  throttle.product = 0x0763;
  throttle.name.Append("Throttle");
  dev.AllWords(40000);
  (void)RunTick(form, report);
  long before = allocations.load();
  for (int t = 0; t < 400; ++t) {
    // every tenth tick the two trade ports, or one of them is gone
    if (t % 10 == 0) {
      const int turn = (t / 10) % 3;
      dev.identity[0] = turn == 0 ? stick : throttle;
      dev.identity[1] = turn == 0 ? throttle : stick;
      dev.plugged[1] = turn != 2;
      dev.sticksChanged = true;
    }
    dev.Axis(0, 1, static_cast<uint32_t>(t * 131 % 65536));
    (void)RunTick(form, report);
  }
  EXPECT_EQ(allocations.load() - before, 0);
  EXPECT_GT(form.State().sticks.changes, 30u);
}

}  // namespace
}  // namespace zq
