// Faults in the middle of a run: each must be reported, exit with status 1
// (or die by the signal) and leave the previous catalogue byte for byte as it
// was, with no stray file beside it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "test_support.h"

namespace quelvarn::testing {
namespace {

const std::string kOld = "[old]\nname = the catalogue the user already has\n";

class Fault : public ::testing::Test {
 protected:
  void SetUp() override {
    write_file(dir.path("out.ini"), kOld);
    std::string records;
    for (int i = 0; i < 30; ++i) records += genuine_records();  // about 24000 records, 13 MB of output
    catalogue = genuine_header() + records;
    write_file(dir.path("in.DAT"), catalogue);
  }

  void expect_previous_output_kept(const std::vector<std::string>& others = {"in.DAT"}) {
    EXPECT_EQ(read_file(dir.path("out.ini")), kOld);
    std::vector<std::string> expected = others;
    expected.emplace_back("out.ini");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(dir.names(), expected);
  }

  temp_dir dir;
  std::string catalogue;
};

// A plain run; an update whose spool of new sections fills the disk; and one
// whose new catalogue does so only once the spool is copied in after the
// 8.2 MB the user already had (the limit is 8 MiB). From gzip input, the
// decoding thread may be the one whose write fails.
TEST_F(Fault, DiskFullMidRun) {
  std::string large_old = kOld;
  while (large_old.size() < 8200000) large_old += "# a comment line that the planetarium ignores\n";
  write_file(dir.path("in.gz"), gzip_bytes(catalogue));
  struct {
    std::vector<std::string> options;
    std::string old;
    const char* input;
  } cases[] = {{{}, kOld, "in.DAT"},
               {{}, kOld, "in.gz"},
               {{"--update"}, kOld, "in.DAT"},
               {{"--update"}, kOld, "in.gz"},
               {{"--update", "--limit", "5000"}, large_old, "in.DAT"}};
  for (const auto& c : cases) {
    write_file(dir.path("out.ini"), c.old);
    std::vector<std::string> args = c.options;
    args.insert(args.end(), {dir.path(c.input), dir.path("out.ini")});
    run_result r = run_quelvarn(args, [] {
      struct rlimit limit {
        8 << 20, 8 << 20
      };
      ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    EXPECT_EQ(r.status, 1);
    // The writer runs a few blocks behind the records, so how many progress
    // lines come first varies; the failure must end the run.
    EXPECT_TRUE(r.console.starts_with("\n Starting\n")) << r.console;
    EXPECT_TRUE(r.console.ends_with(failure(" file " + dir.path("out.ini") + " cannot be written"))) << r.console;
    EXPECT_EQ(read_file(dir.path("out.ini")), c.old);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"in.DAT", "in.gz", "out.ini"}));
  }
}

TEST_F(Fault, OutputDirectoryWithoutWritePermission) {
  ASSERT_EQ(::chmod(dir.path("").c_str(), 0555), 0);
  ::chmod(dir.path("in.DAT").c_str(), 0644);
  run_result r = run_quelvarn_unprivileged({dir.path("in.DAT"), dir.path("out.ini")});
  ::chmod(dir.path("").c_str(), 0700);
  if (r.status == 77) GTEST_SKIP() << "cannot run quelvarn as an ordinary user (65534) from " << dir.path("");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.console, failure(" file " + dir.path("out.ini") + " cannot be written"));
  expect_previous_output_kept();
}

// Running out of memory, or of threads, is a failure like any other: a
// message, status 1, the old catalogue, no stray file. Never an abort.
TEST_F(Fault, OutOfMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer cannot run under an address-space limit";
#endif
  write_file(dir.path("in.gz"), gzip_bytes(catalogue));
  for (const char* input : {"in.DAT", "in.gz"}) {
    // From where the C++ runtime itself runs short to where the run succeeds.
    for (rlim_t kib = 5000; kib <= 30000; kib += 500) {
      write_file(dir.path("out.ini"), kOld);
      run_result r = run_quelvarn({dir.path(input), dir.path("out.ini")}, [kib] {
        struct rlimit limit {
          kib * 1024, kib * 1024
        };
        ::setrlimit(RLIMIT_AS, &limit);
      });
      // Below some limit the system's loader cannot even start the program.
      if (r.status == 127 && r.console.empty()) continue;
      ASSERT_TRUE(r.status == 0 || r.status == 1) << input << " " << kib << ": " << r.status << r.errors;
      if (r.status == 0) continue;
      EXPECT_TRUE(r.console.ends_with(failure(" file " + dir.path(input) + " cannot be read")) ||
                  r.console.ends_with(failure(" file " + dir.path("out.ini") + " cannot be written")))
          << kib << ": " << r.console;
      expect_previous_output_kept({"in.DAT", "in.gz"});
    }
  }
}

// The input is a FIFO that the test feeds, so the run is caught, for sure,
// in the middle of the records when the signal arrives.
// The signal, and whether the run updates the catalogue (its new sections
// then wait in a spool file, which must not be left behind either).
class Interrupted : public Fault, public ::testing::WithParamInterface<std::tuple<int, bool>> {};

TEST_P(Interrupted, ByASignalMidRun) {
  auto [sig, update] = GetParam();
  std::string fifo = dir.path("feed");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::vector<std::string> args = {fifo, dir.path("out.ini")};
  if (update) args.insert(args.begin(), "--update");
  process p = spawn_quelvarn(args);
  int feed = ::open(fifo.c_str(), O_WRONLY);
  ASSERT_GE(feed, 0);
  std::string head = catalogue.substr(0, catalogue.size() / 2);
  ASSERT_EQ(::write(feed, head.data(), head.size()), static_cast<ssize_t>(head.size()));
  std::string seen;
  ASSERT_TRUE(wait_for_console(p, " Processing line: 10000\n", seen));
  ::kill(p.pid, sig);
  run_result r = finish(p, seen);
  ::close(feed);
  EXPECT_EQ(r.status, 128 + sig);
#ifdef QUELVARN_PORTABLE_POSIX
  // The named temporary file that macOS and the BSDs get: nothing can run to
  // remove it after SIGKILL, and a handler must remove it after the others.
  if (sig == SIGKILL) {
    std::vector<std::string> names = dir.names();
    EXPECT_EQ(names.size(), 4u);
    EXPECT_TRUE(names[0].starts_with(".quelvarn-")) << names[0];
    ::unlink(dir.path(names[0]).c_str());
  }
#endif
  expect_previous_output_kept({"feed", "in.DAT"});
}

INSTANTIATE_TEST_SUITE_P(Signals, Interrupted,
                         ::testing::Combine(::testing::Values(SIGINT, SIGTERM, SIGHUP, SIGKILL), ::testing::Bool()));

TEST_F(Fault, OutputPipeWhoseReaderGoesAway) {
  std::string fifo = dir.path("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  write_file(dir.path("in.gz"), gzip_bytes(catalogue));
  for (const char* input : {"in.DAT", "in.gz"}) {
    process p = spawn_quelvarn({dir.path(input), fifo});
    int reader = ::open(fifo.c_str(), O_RDONLY);
    char some[100];
    EXPECT_EQ(::read(reader, some, sizeof some), static_cast<ssize_t>(sizeof some));
    ::close(reader);
    run_result r = finish(p);
    EXPECT_EQ(r.status, 1) << input;
    EXPECT_TRUE(r.console.ends_with(failure(" file " + fifo + " cannot be written"))) << r.console;
  }
}

TEST_F(Fault, CorruptAndTruncatedCompressedInput) {
  std::string packed = gzip_bytes(catalogue);
  std::string corrupt = packed;
  corrupt[packed.size() / 2] ^= 0x5a;
  for (const std::string& bad : {packed.substr(0, packed.size() * 3 / 4), corrupt}) {
    write_file(dir.path("in.DAT"), bad);
    run_result r = run_quelvarn({dir.path("in.DAT"), dir.path("out.ini")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.console.substr(r.console.find("\n file")), failure(" file " + dir.path("in.DAT") + " cannot be read"));
    expect_previous_output_kept();
  }
  write_file(dir.path("in.DAT"), gzip_bytes("just some text\n"));
  EXPECT_EQ(run_quelvarn({dir.path("in.DAT"), dir.path("out.ini")}).console,
            failure(" file " + dir.path("in.DAT") + " is bad"));
}

// The run is stopped once it is converting, the input is changed under it,
// and the run goes on. The file is padded, sparsely, with a giant line so
// that the run cannot have finished reading by then.
class InputChanges : public Fault {
 protected:
  run_result run_while(const std::function<void()>& change) {
    ::truncate(dir.path("in.DAT").c_str(), 200 << 20);
    process p = spawn_quelvarn({dir.path("in.DAT"), dir.path("out.ini")});
    std::string seen;
    EXPECT_TRUE(wait_for_console(p, " Processing line: 10000\n", seen));
    ::kill(p.pid, SIGSTOP);
    change();
    ::kill(p.pid, SIGCONT);
    return finish(p, seen);
  }
};

TEST_F(InputChanges, ShrinkingIsAReadError) {
  run_result r = run_while([&] { ::truncate(dir.path("in.DAT").c_str(), 1 << 20); });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.console.substr(r.console.find("\n file")), failure(" file " + dir.path("in.DAT") + " cannot be read"));
  expect_previous_output_kept();
}

// Removing (or renaming a fresh download over) the input does not touch the
// open file: the run converts the whole catalogue it started with.
TEST_F(InputChanges, RemovalLeavesTheOpenFileComplete) {
  run_result r = run_while([&] { ::unlink(dir.path("in.DAT").c_str()); });
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.console.find(" End of processing: 23881 asteroids.\n"), std::string::npos);
  EXPECT_EQ(dir.names(), std::vector<std::string>{"out.ini"});
}

// A hostile file: a title line and a record line of hundreds of megabytes,
// without a line end. Neither may be read into memory whole.
TEST_F(Fault, GiantLinesStayInBoundedMemory) {
  for (const std::string& head : {genuine_header(), std::string("not a catalogue")}) {
    write_file(dir.path("in.DAT"), head);
    ASSERT_EQ(::truncate(dir.path("in.DAT").c_str(), 300 << 20), 0);  // sparse: cheap to make
    run_result r = run_quelvarn({dir.path("in.DAT"), dir.path("new.ini")});
#if !defined(__SANITIZE_ADDRESS__)
    // The peak a child reports includes this process's memory at the fork,
    // and AddressSanitizer holds on to what the earlier tests freed.
    EXPECT_LT(r.peak_memory_kib, 64 * 1024);
#endif
    if (head.size() > 100) {
      EXPECT_EQ(r.status, 1);  // nothing convertible
      EXPECT_NE(r.console.find(" Skipped line 44: too long\n"), std::string::npos);
    } else {
      EXPECT_EQ(r.console, failure(" file " + dir.path("in.DAT") + " is bad"));
    }
  }
}

}  // namespace
}  // namespace quelvarn::testing
