// End-to-end: the built program on small catalogues in a temporary directory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <thread>

#include "io/input_stream.h"
#include "test_support.h"

namespace quelvarn::testing {
namespace {

const std::string kUsage =
    "\n missing parameters or missing all parameters\n <file In> <file Out>\n"
    " example: quelvarn MPCORB.DAT ssystem_minor.ini\n\n";
const std::string kOptionUsage = " Usage: quelvarn [OPTIONS] INPUT OUTPUT (quelvarn --help for more)\n\n";
const std::string kOld = "[old]\nname = the catalogue the user already has\n";

std::string success(const std::string& counts) {
  return "\n Starting\n\n\n End of processing: " + counts + "\n\n Finished\n" + banner();
}

TEST(Cli, CommandLine) {
  temp_dir dir;
  for (const auto& args : std::vector<std::vector<std::string>>{{}, {dir.path("a")}, {"a", "b", "c"}}) {
    run_result r = run_quelvarn(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.console, kUsage);
  }
  for (const char* help : {"--help", "-h"}) {
    run_result r = run_quelvarn({help});
    EXPECT_EQ(r.status, 0);
    for (const char* part :
         {"Usage: quelvarn [OPTIONS] INPUT OUTPUT", "Exit status:", "minorplanetcenter.net/iau/MPCORB/", "  --update ",
          "  --max-magnitude H ", "  --layout LAYOUT ", "  --numbered ", "  --class LIST ", "  --body ID ",
          "  --limit N ", "  -- ", "mars-crosser, hilda"})
      EXPECT_NE(r.console.find(part), std::string::npos) << part;
    EXPECT_EQ(r.console.find("missing parameters"), std::string::npos);
  }
  // Printing is all --help and --version do: a text that was lost is a failure.
  for (const char* option : {"--help", "--version"}) {
    EXPECT_EQ(run_quelvarn({option}, [] { ::dup2(::open("/dev/full", O_WRONLY), 1); }).status, 1) << option;
  }
  run_result version = run_quelvarn({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.console, std::string("quelvarn " QUELVARN_VERSION " (gzip: ") + gzip_decoder_name() + ")\n");
  // Options count anywhere; after "--" everything is a path.
  EXPECT_EQ(run_quelvarn({dir.path("in"), "--help", dir.path("out")}).status, 0);
  EXPECT_EQ(run_quelvarn({"--", "--help", dir.path("out")}).console, failure(" file --help not exits"));
  EXPECT_TRUE(dir.names().empty());
}

// A command line that cannot be run names the option at fault, points to the
// usage and touches nothing; whether the paths are all there comes after.
TEST(Cli, UsageErrors) {
  temp_dir dir;
  write_file(dir.path("in"), genuine_header() + genuine_records());
  write_file(dir.path("out"), kOld);
  std::string in = dir.path("in");
  std::string out = dir.path("out");
  const std::string comets = QUELVARN_TEST_DATA "/cometels-2021-sample.txt";
  struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"--frobnicate", in, out}, " unknown option --frobnicate"},
      {{"--limit", "-3", in}, " option --limit needs a whole number of 0 or more, not \"-3\""},
      {{"--numbered", comets, out}, " --numbered and --class are for minor planets; " + comets + " is a comet file"},
      {{in, out, "--max-magnitude", "abc"}, " option --max-magnitude needs a number, not \"abc\""},
      {{"--limit", "-3", "--update", in, out}, " option --limit needs a whole number of 0 or more, not \"-3\""},
      {{"--limit=", in, out}, " option --limit needs a whole number of 0 or more, not \"\""},
      {{in, out, "--body"}, " option --body needs a value"},
      {{"--update=yes", in, out}, " option --update takes no value"},
      {{"--existing", in, out}, " option --existing needs --update"},
      {{"--update", "--layout", "modern", in, out},
       " option --layout: unknown layout \"modern\"; the layouts are classic, current"},
      {{"--class", "neo,asteroids", in, out},
       " option --class: unknown class \"asteroids\"; the classes are atira, aten, apollo, amor, mars-crosser, "
       "hilda, trojan, centaur, plutino, resonant-tno, cubewano, sdo, tno, neo, km-neo, pha"},
  };
  for (const auto& c : cases) {
    run_result r = run_quelvarn(c.args);
    EXPECT_EQ(r.status, 2) << c.message;
    EXPECT_EQ(r.console, "\n" + c.message + "\n" + kOptionUsage);
  }
  EXPECT_EQ(run_quelvarn({"--update", in}).console, kUsage);
  EXPECT_EQ(read_file(out), kOld);
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"in", "out"}));
}

TEST(Cli, ConvertsTheShippedSampleExactly) {
  temp_dir dir;
  run_result r = run_quelvarn({QUELVARN_SAMPLE, dir.path("out.ini")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.console, success("42 asteroids."));
  EXPECT_EQ(r.errors, "");
  EXPECT_EQ(read_file(dir.path("out.ini")), read_file(QUELVARN_TEST_DATA "/sample.expected.ini"));
}

// Only the first 100 skipped lines are shown; all are counted.
TEST(Cli, SkippedLinesDoNotFloodTheConsole) {
  temp_dir dir;
  std::string bad = genuine_records().substr(0, 20) + "K24X1" + genuine_records().substr(25, 178);
  std::string records;
  for (int i = 0; i < 150; ++i) records += bad;
  write_file(dir.path("in"), genuine_header() + records + genuine_records().substr(0, 203));
  run_result r = run_quelvarn({dir.path("in"), dir.path("out")});
  EXPECT_EQ(r.status, 0);
  std::string shown;
  for (int line = 44; line < 144; ++line) shown += " Skipped line " + std::to_string(line) + ": bad epoch K24X1\n";
  EXPECT_EQ(r.console, "\n Starting\n\n" + shown +
                           " Further skipped lines are not shown.\n\n End of processing: 151 asteroids.\n"
                           " Skipped records: 150\n\n Finished\n" +
                           banner());
}

TEST(Cli, ReportsProgressSkippedLinesAndLineNumbers) {
  temp_dir dir;
  std::string record = genuine_records().substr(0, 203);
  std::string records;
  for (int i = 0; i < 10000; ++i) records += record;
  std::string short_line = record.substr(0, 174) + "\n";
  std::string bad_epoch = record.substr(0, 20) + "Z239D" + record.substr(25);
  write_file(dir.path("in"), genuine_header() + "\n\n" + short_line + bad_epoch + " \n" + records);
  run_result r = run_quelvarn({dir.path("in"), dir.path("out")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.console,
            "\n Starting\n\n Skipped line 46: too short\n Skipped line 47: bad epoch Z239D\n"
            " Skipped line 48: too short\n Processing line: 10000\n\n End of processing: 10003 asteroids.\n"
            " Skipped records: 3\n\n Finished\n" +
                banner());
}

// Recognised by content, never by name: MPCORB by its title line, the other
// two layouts by a first non-empty line that passes every column test. Line
// numbers in messages count from the file's first line.
TEST(Cli, RecognisesTheThreeKindsOfInput) {
  temp_dir dir;
  std::string comets = read_file(QUELVARN_TEST_DATA "/cometels-2021-sample.txt");
  std::string comet = comets.substr(0, comets.find('\n') + 1);
  std::string record = genuine_records().substr(0, 203);
  std::string bad_comet = comet.substr(0, 30) + "-" + comet.substr(31);
  std::string bad_record = record.substr(0, 20) + "Z239D" + record.substr(25);
  // The extended packed form in columns 1-7 (6-12 of a comet), first in the file.
  std::string extended = "_QC0000" + record.substr(7, 158) + "          2026 CA620         20261231\n";
  std::string extended_comet = comet.substr(0, 4) + "P_WY0Mpc" + comet.substr(12);
  struct {
    std::string name, input, console;
  } cases[] = {
      {"DAILY.DAT", extended + record, success("2 asteroids.")},
      {"CometEls-extended.txt", extended_comet + comets, success("924 comets.")},
      {"DAILY-lookalike.DAT", "_QI0000" + extended.substr(7) + record, ""},
      {"CometEls-lookalike.txt", comet.substr(0, 4) + "P_WY0M-c" + comet.substr(12) + comets, ""},
      {"MPCORB.DAT", genuine_header() + record, success("1 asteroids.")},
      {"comets.DAT", gzip_bytes(comets), success("923 comets.")},
      {"NEA.txt", "\n\r\n" + record + "\n" + bad_record + record,
       "\n Starting\n\n Skipped line 5: bad epoch Z239D\n\n End of processing: 3 asteroids.\n"
       " Skipped records: 1\n\n Finished\n" +
           banner()},
      {"CometEls.txt", comet + bad_comet + comet.substr(0, 100) + "\n" + comet,
       "\n Starting\n\n Skipped line 2: bad elements\n Skipped line 3: too short\n\n"
       " End of processing: 4 comets.\n Skipped records: 2\n\n Finished\n" +
           banner()},
      {"CometEls-bad-first.txt", bad_comet + comets, ""},
      {"NEA-bad-first.txt", bad_record + record, ""},
      {"comets-after-title.DAT", genuine_header() + comets, ""},
      {"notes.txt", "Orbital elements\n" + record + comet, ""},
  };
  for (const auto& c : cases) {
    write_file(dir.path(c.name), c.input);
    run_result r = run_quelvarn({dir.path(c.name), dir.path("out.ini")});
    if (c.console.empty()) {
      EXPECT_EQ(r.status, 1) << c.name;
      EXPECT_TRUE(r.console.ends_with(failure(" file " + dir.path(c.name) + " is bad"))) << c.name << r.console;
    } else {
      EXPECT_EQ(r.status, 0) << c.name;
      EXPECT_EQ(r.console, c.console) << c.name;
      // The byte-order mark Windows editors write first changes nothing.
      std::string converted = read_file(dir.path("out.ini"));
      write_file(dir.path(c.name),
                 c.input.starts_with("\x1f") ? gzip_bytes("\xEF\xBB\xBF" + comets) : "\xEF\xBB\xBF" + c.input);
      EXPECT_EQ(run_quelvarn({dir.path(c.name), dir.path("out.ini")}).console, c.console) << c.name;
      EXPECT_EQ(read_file(dir.path("out.ini")), converted) << c.name;
    }
  }
}

// A body of the extended packed form is one like any other: converted as the
// usual form would be, chosen by its designation, and found in a catalogue
// under the designation it had before it was numbered.
TEST(Cli, ExtendedDesignationsAsTheUsualOnes) {
  temp_dir dir;
  std::string record = genuine_records().substr(0, 166);
  std::string ca620 = "_QC0000" + record.substr(7) + "         2026 CA620         20261231\n";
  std::string cz6190 = "~0KOY  " + record.substr(7) + "(698402) 2026 CZ6190        20261231\n";
  write_file(dir.path("DAILY.DAT"), ca620 + cz6190);
  write_file(dir.path("usual.DAT"), "K26C00A" + ca620.substr(7) + cz6190);
  ASSERT_EQ(run_quelvarn({dir.path("DAILY.DAT"), dir.path("out.ini")}).status, 0);
  ASSERT_EQ(run_quelvarn({dir.path("usual.DAT"), dir.path("usual.ini")}).status, 0);
  std::string converted = read_file(dir.path("out.ini"));
  EXPECT_EQ(converted, read_file(dir.path("usual.ini")));
  EXPECT_TRUE(
      converted.starts_with("[2026ca620]\nabsolute_magnitude             = 3.34\n"
                            "coord_func                     = comet_orbit\n"
                            "name                           = 2026 CA620\n"))
      << converted;

  run_result chosen = run_quelvarn({"--body", "2026 ca620", "--body", "698402", dir.path("DAILY.DAT"), dir.path("b")});
  EXPECT_NE(chosen.console.find(" Selected records: 2\n"), std::string::npos) << chosen.console;

  write_file(dir.path("cat.ini"), "[cz]\nname=2026 CZ6190\nalbedo=0.1\n");
  run_result updated = run_quelvarn({"--update", "--existing", dir.path("DAILY.DAT"), dir.path("cat.ini")});
  EXPECT_NE(updated.console.find(" Updated sections: 1\n Added sections: 0\n"), std::string::npos) << updated.console;
  EXPECT_NE(read_file(dir.path("cat.ini")).find("\nminor_planet_number=698402\n"), std::string::npos);
}

// Selection and --update are not wired for comets yet: they must refuse,
// not write every comet or a second section beside the user's own.
// Comets are chosen by designation or name, and refreshed in a catalogue
// by their designation and name, or by the periodic number their name begins
// with; curated keys stay, the keys of an asteroid-like orbit go.
TEST(Cli, ChoosesAndUpdatesComets) {
  temp_dir dir;
  const std::string comets = QUELVARN_TEST_DATA "/cometels-2021-sample.txt";
  write_file(dir.path("out"), kOld);
  for (const char* option : {"--numbered", "--class=neo"}) {
    run_result r = run_quelvarn({option, comets, dir.path("out")});
    EXPECT_EQ(r.status, 2) << option;
    EXPECT_NE(r.console.find(" is a comet file"), std::string::npos) << r.console;
  }
  EXPECT_EQ(read_file(dir.path("out")), kOld);

  run_result chosen = run_quelvarn({"--body", "12p", "--body", "c/1995  o1", "--body", "2I/Borisov", "--body", "Halley",
                                    "--body", "nothing", comets, dir.path("new")});
  EXPECT_EQ(chosen.status, 0);
  EXPECT_NE(chosen.console.find(" Selected records: 4\n"), std::string::npos) << chosen.console;
  EXPECT_NE(chosen.console.find(" Not found: nothing\n"), std::string::npos) << chosen.console;
  std::string sections = read_file(dir.path("new"));
  for (const char* name : {"[12pponsbrooks]", "[c1995o1(halebopp)]", "[2iborisov]", "[1phalley]"})
    EXPECT_NE(sections.find(name), std::string::npos) << name;

  write_file(dir.path("cat.ini"),
             "[12P]\r\nname=12P/Pons-Brooks\r\ntype=comet\r\ndust_lengthfactor=0.4\r\norbit_MeanAnomaly=1\r\n"
             "orbit_TimeAtPericenter=2400000\r\n\r\n[hb]\nname = C/1995 O1 (Hale-Bopp) # great\n"
             "orbit_PericenterDistance = 0.9\nradius = 30\n");
  run_result updated = run_quelvarn({"--update", "--body=12P", "--body=Hale-Bopp", comets, dir.path("cat.ini")});
  EXPECT_EQ(updated.status, 0) << updated.console;
  EXPECT_NE(updated.console.find(" Updated sections: 2\n Added sections: 0\n"), std::string::npos) << updated.console;
  std::string catalogue = read_file(dir.path("cat.ini"));
  EXPECT_TRUE(
      catalogue.starts_with("[12P]\r\nname=12P/Pons-Brooks\r\ntype=comet\r\ndust_lengthfactor=0.4\r\n"
                            "orbit_TimeAtPericenter=2460421.2057\r\nabsolute_magnitude=5.0\r\n"))
      << catalogue;
  EXPECT_EQ(catalogue.find("orbit_MeanAnomaly"), std::string::npos);
  EXPECT_NE(catalogue.find("name = C/1995 O1 (Hale-Bopp) # great\norbit_PericenterDistance = 0.896229\n"
                           "radius = 30\n"),
            std::string::npos)
      << catalogue;
}

TEST(Cli, RejectedInputLeavesTheOutputAlone) {
  temp_dir dir;
  write_file(dir.path("out"), kOld);
  write_file(dir.path("notes.txt"), "MINOR PLANET CENTER ORBIT DATABASE\n");
  ::mkdir(dir.path("subdir").c_str(), 0755);
  int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  struct sockaddr_un address {};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", dir.path("socket").c_str());
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  // The system's cause goes to standard error; a file that is no catalogue
  // has none.
  auto cause = [&](const std::string& name, const std::string& text) {
    return "quelvarn: " + dir.path(name) + ": " + text + "\n";
  };
  struct {
    std::string input, message, errors;
  } cases[] = {
      // Exists, but cannot be opened.
      {dir.path("socket"), " file " + dir.path("socket") + " cannot be read",
       cause("socket", "No such device or address")},
      // Control bytes are never echoed to the terminal.
      {dir.path("\x1b[2J"), " file " + dir.path("?[2J") + " not exits", cause("?[2J", "No such file or directory")},
      {dir.path("missing"), " file " + dir.path("missing") + " not exits",
       cause("missing", "No such file or directory")},
      {dir.path("subdir"), " file " + dir.path("subdir") + " not exits", cause("subdir", "Is a directory")},
      {dir.path("notes.txt"), " file " + dir.path("notes.txt") + " is bad", ""},
      // Endless and without line ends: only the first 64 KiB are looked at.
      {"/dev/zero", " file /dev/zero is bad", ""},
  };
  for (const auto& c : cases) {
    run_result r = run_quelvarn({c.input, dir.path("out")});
    EXPECT_EQ(r.status, 1) << c.input;
    EXPECT_EQ(r.console, failure(c.message));
    EXPECT_EQ(r.errors, c.errors);
  }
  // A missing input must not create an output either.
  EXPECT_EQ(run_quelvarn({dir.path("missing"), dir.path("new")}).status, 1);
  ::close(sock);
  EXPECT_EQ(read_file(dir.path("out")), kOld);
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"notes.txt", "out", "socket", "subdir"}));
}

// A catalogue with nothing to convert in it would replace the user's own
// with an empty one.
TEST(Cli, NothingConvertibleIsABadFileAndLeavesTheOutput) {
  temp_dir dir;
  write_file(dir.path("out"), kOld);
  const std::string& header = genuine_header();
  std::string cr_only = header + genuine_records().substr(0, 2030);
  std::replace(cr_only.begin(), cr_only.end(), '\n', '\r');
  struct {
    std::string input, console;
  } cases[] = {
      {header.substr(0, header.find('\n') + 1), ""},
      {header, ""},
      {cr_only, ""},
      {header + "short\n\n" + genuine_records().substr(0, 170) + "\n",
       "\n Starting\n\n Skipped line 44: too short\n Skipped line 46: too short\n"},
  };
  for (const auto& c : cases) {
    write_file(dir.path("in"), c.input);
    run_result r = run_quelvarn({dir.path("in"), dir.path("out")});
    EXPECT_EQ(r.status, 1);
    if (c.console.empty()) {
      EXPECT_TRUE(r.console.starts_with("\n Starting\n\n")) << r.console;
      EXPECT_TRUE(r.console.ends_with(failure(" file " + dir.path("in") + " is bad"))) << r.console;
    } else {
      EXPECT_EQ(r.console, c.console + failure(" file " + dir.path("in") + " is bad"));
    }
    EXPECT_EQ(read_file(dir.path("out")), kOld);
  }
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"in", "out"}));
}

// Standard output as the catalogue: the messages go to standard error, and a
// file the shell opened for appending is appended to. Closed standard
// descriptors must not become the catalogue either.
TEST(Cli, StandardOutputAndClosedDescriptors) {
  temp_dir dir;
  std::string expected = read_file(QUELVARN_TEST_DATA "/sample.expected.ini");
  for (const char* out : {"/dev/stdout", "/proc/self/fd/1"}) {
    run_result r = run_quelvarn({QUELVARN_SAMPLE, out});
    EXPECT_EQ(r.status, 0) << out;
    EXPECT_EQ(r.console, expected) << out;
    EXPECT_EQ(r.errors, success("42 asteroids.")) << out;
  }
  write_file(dir.path("log"), "earlier\n");
  std::string log = dir.path("log");
  run_result appended = run_quelvarn({QUELVARN_SAMPLE, log}, [&log] {
    int fd = ::open(log.c_str(), O_WRONLY | O_APPEND);
    ::dup2(fd, 1);
  });
  EXPECT_EQ(appended.errors, success("42 asteroids."));
  EXPECT_EQ(read_file(log), "earlier\n" + expected);

  // Standard error on the same stream: no message may go into the catalogue.
  run_result shared = run_quelvarn({QUELVARN_SAMPLE, "/dev/stdout"}, [] { ::dup2(1, 2); });
  EXPECT_EQ(shared.status, 0);
  EXPECT_EQ(shared.console, expected);

  run_result closed = run_quelvarn({QUELVARN_SAMPLE, dir.path("out.ini")}, [] {
    ::close(0);
    ::close(1);
  });
  EXPECT_EQ(closed.status, 0);
  EXPECT_EQ(read_file(dir.path("out.ini")), expected);
  // A catalogue sent to a closed standard output is lost, not converted.
  run_result lost = run_quelvarn({QUELVARN_SAMPLE, "/dev/stdout"}, [] { ::close(1); });
  EXPECT_EQ(lost.status, 1);
  EXPECT_TRUE(lost.errors.ends_with(failure(" file /dev/stdout cannot be written"))) << lost.errors;
}

TEST(Cli, RefusesToOverwriteItsInput) {
  temp_dir dir;
  std::string catalogue = genuine_header() + genuine_records();
  write_file(dir.path("in"), catalogue);
  ::symlink("in", dir.path("link").c_str());
  ::link(dir.path("in").c_str(), dir.path("hard").c_str());
  ::mkdir(dir.path("d").c_str(), 0755);
  for (const std::string& out : {dir.path("in"), dir.path("d/../in"), dir.path("link"), dir.path("hard")}) {
    run_result r = run_quelvarn({dir.path("in"), out});
    EXPECT_EQ(r.status, 1) << out;
    EXPECT_EQ(r.console, failure(" file " + out + " is the input file"));
  }
  EXPECT_EQ(read_file(dir.path("in")), catalogue);
}

TEST(Cli, UnwritableOutputIsReportedBeforeStarting) {
  temp_dir dir;
  write_file(dir.path("in"), genuine_header() + genuine_records());
  ::mkdir(dir.path("d").c_str(), 0755);
  // Names that could only fail once the whole catalogue was converted.
  for (const std::string& out : {dir.path("no/such/dir/out"), dir.path("d"), std::string("/dev/full"), std::string(),
                                 dir.path(std::string(256, 'n')), dir.path("d/")}) {
    run_result r = run_quelvarn({dir.path("in"), out});
    EXPECT_EQ(r.status, 1) << out;
    std::string message = failure(" file " + out + " cannot be written");
    // /dev/full is opened fine and fails on the first write, after the start.
    EXPECT_EQ(r.console, out == "/dev/full" ? "\n Starting\n\n" + message : message);
    EXPECT_TRUE(r.errors.starts_with("quelvarn: " + out + ": ") && r.errors.ends_with("\n")) << r.errors;
  }
  EXPECT_EQ(run_quelvarn({dir.path("in"), "/dev/full"}).errors, "quelvarn: /dev/full: No space left on device\n");
  // A catalogue made read-only stays, whoever runs the update.
  write_file(dir.path("kept.ini"), kOld);
  ::chmod(dir.path("kept.ini").c_str(), 0444);
  for (const char* update : {"--limit=5", "--update"}) {
    run_result r = run_quelvarn({update, dir.path("in"), dir.path("kept.ini")});
    EXPECT_EQ(r.status, 1) << update;
    EXPECT_EQ(r.console, failure(" file " + dir.path("kept.ini") + " cannot be written"));
    EXPECT_EQ(r.errors, "quelvarn: " + dir.path("kept.ini") + ": Permission denied\n");
  }
  EXPECT_EQ(read_file(dir.path("kept.ini")), kOld);
}

TEST(Cli, ReplacesTheTargetKeepingModeAndLinks) {
  temp_dir dir;
  write_file(dir.path("in.gz"), gzip_bytes(genuine_header() + genuine_records()));
  write_file(dir.path("real.ini"), kOld);
  ::chmod(dir.path("real.ini").c_str(), 0640);
  ::symlink("real.ini", dir.path("link.ini").c_str());
  run_result r = run_quelvarn({dir.path("in.gz"), dir.path("link.ini")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.console, success("796 asteroids."));
  struct stat st {};
  ASSERT_EQ(::lstat(dir.path("link.ini").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(::stat(dir.path("real.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(read_file(dir.path("real.ini")).substr(0, 9), "[1ceres]\n");
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"in.gz", "link.ini", "real.ini"}));

  // The longest name a file system takes is no problem for the temporary file.
  EXPECT_EQ(run_quelvarn({dir.path("in.gz"), dir.path(std::string(255, 'n'))}).status, 0);
  ::unlink(dir.path(std::string(255, 'n')).c_str());

  // Outputs that are not regular files are written in place.
  EXPECT_EQ(run_quelvarn({dir.path("in.gz"), "/dev/null"}).status, 0);
}

// The last section in a catalogue with this header, and one key's value in it.
std::string last_section(const std::string& catalogue, const std::string& header) {
  std::size_t at = catalogue.rfind(header + "\n");
  return at == std::string::npos ? "" : catalogue.substr(at, catalogue.find("\n\n", at) + 2 - at);
}
std::string value_of(const std::string& section, const std::string& key) {
  std::size_t at = section.find("\n" + key + " ");
  if (at == std::string::npos) return "<absent>";
  std::size_t start = section.find("= ", at) + 2;
  return section.substr(start, section.find('\n', start) - start);
}

TEST(Cli, SelectionSummary) {
  temp_dir dir;
  run_result r = run_quelvarn({"--max-magnitude=4", QUELVARN_SAMPLE, "--body", "ceres", dir.path("out.ini"), "--body",
                               "2024 YR9", "--body", "Pallas"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.console,
            "\n Starting\n\n\n End of processing: 42 asteroids.\n Selected records: 3\n Not found: 2024 YR9\n"
            "\n Finished\n" +
                banner());
  EXPECT_EQ(read_file(dir.path("out.ini")).substr(0, 9), "[1ceres]\n");
  // Past 20,000 bodies the planetarium starts slowly: the user is told so,
  // whenever the catalogue left in place holds more, with only the advice
  // the run has not followed. Sections of one name are one body; a device
  // keeps no catalogue.
  const std::string nea = dir.path("nea.gz");
  write_file(nea, read_file(QUELVARN_TEST_DATA "/mpcorb-nea-2019.txt.gz"));
  std::string repeated = genuine_header();
  for (int i = 0; i < 26; ++i) repeated += genuine_records();
  write_file(dir.path("repeated.DAT"), repeated);
  ASSERT_EQ(run_quelvarn({"--limit", "10500", nea, dir.path("half.ini")}).status, 0);
  write_file(dir.path("doubled.ini"), read_file(dir.path("half.ini")) + read_file(dir.path("half.ini")));
  const std::string note =
      "\n Finished\n Note: the catalogue holds 20001 bodies; the planetarium starts slowly with "
      "more than 20000. ";
  const std::string choices = "--max-magnitude, --class, --numbered, --body";
  struct {
    std::vector<std::string> args;
    std::string note;
  } notes[] = {
      {{"--limit", "20000", nea, dir.path("out.ini")}, ""},
      {{"--limit", "20001", nea, dir.path("out.ini")},
       note + "Choose fewer with " + choices + ", --limit or --update --existing.\n"},
      {{"--limit", "20001", nea, "/dev/null"}, ""},
      {{dir.path("repeated.DAT"), dir.path("repeated.ini")}, ""},
      {{"--update", "--body", "Cerse", nea, dir.path("out.ini")},
       note + "An update removes no body: a conversion without --update writes fewer with " + choices +
           " or --limit.\n"},
      {{"--update", "--existing", nea, dir.path("out.ini")}, note + "An update removes no body"},
      {{"--update", "--limit", "20001", nea, dir.path("new.ini")},
       note + "Choose fewer with " + choices + ", --limit or --existing.\n"},
      {{"--update", "--body", "Cerse", nea, dir.path("doubled.ini")}, ""},
  };
  for (const auto& c : notes) {
    r = run_quelvarn(c.args);
    EXPECT_EQ(r.status, 0) << c.args[0];
    EXPECT_EQ(r.console.find(c.note.empty() ? "Note:" : c.note) != std::string::npos, !c.note.empty()) << r.console;
  }
}

// The user's catalogue keeps every byte that is not an orbit of a body the
// input holds; the input's last record of a body wins; new bodies follow.
TEST(Cli, UpdatesACatalogueInPlace) {
  temp_dir dir;
  write_file(dir.path("in"), genuine_header() + genuine_records());
  const std::string comet =
      "[c2019y4(atlas)]\ntype=comet\nname=C/2019 Y4 (ATLAS)\norbit_PericenterDistance=0.25\n"
      "orbit_TimeAtPericenter=2458997.5\n\n";
  const std::string catalogue =
      "# curated\r\n[4vesta]\r\nname=Vesta\r\nminor_planet_number=4\r\ntype=dwarf planet\r\nradius=262 # km\r\n"
      "tex_map=vesta.png\r\norbit_TimeAtPericenter=2450000.5\r\norbit_PericenterDistance=2.15\r\n\r\n" +
      comet + "[1994tg]\nname = 1994  tg\ntype = asteroid\norbit_SemiMajorAxis = 1.0\n";
  write_file(dir.path("ssystem_minor.ini"), catalogue);
  ::chmod(dir.path("ssystem_minor.ini").c_str(), 0600);
  std::vector<std::string> args = {
      "--update", "--body", "vesta", "--body", "1994 TG", "--body", "6", dir.path("in"), dir.path("ssystem_minor.ini")};
  run_result r = run_quelvarn(args);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.console,
            "\n Starting\n\n\n End of processing: 796 asteroids.\n Selected records: 6\n Updated sections: 2\n"
            " Added sections: 1\n\n Finished\n" +
                banner());
  std::string updated = read_file(dir.path("ssystem_minor.ini"));

  // No section of the catalogue has coord_func: it is in the current layout,
  // and so are the sections added to it.
  ASSERT_EQ(run_quelvarn({"--body=4", "--body=6", "--layout=current", dir.path("in"), dir.path("plain.ini")}).status,
            0);
  std::string plain = read_file(dir.path("plain.ini"));
  std::string vesta = last_section(plain, "[4vesta]");
  EXPECT_EQ(updated.substr(0, updated.find("[c2019")),
            "# curated\r\n[4vesta]\r\nname=Vesta\r\nminor_planet_number=4\r\ntype=dwarf planet\r\n"
            "radius=262 # km\r\ntex_map=vesta.png\r\norbit_Epoch=" +
                value_of(vesta, "orbit_Epoch") + "\r\norbit_MeanAnomaly=" + value_of(vesta, "orbit_MeanAnomaly") +
                "\r\norbit_MeanMotion=" + value_of(vesta, "orbit_MeanMotion") +
                "\r\norbit_SemiMajorAxis=" + value_of(vesta, "orbit_SemiMajorAxis") +
                "\r\norbit_Eccentricity=" + value_of(vesta, "orbit_Eccentricity") +
                "\r\norbit_Inclination=" + value_of(vesta, "orbit_Inclination") +
                "\r\norbit_AscendingNode=" + value_of(vesta, "orbit_AscendingNode") +
                "\r\norbit_ArgOfPericenter=" + value_of(vesta, "orbit_ArgOfPericenter") +
                "\r\nabsolute_magnitude=" + value_of(vesta, "absolute_magnitude") + "\r\n\r\n");
  EXPECT_NE(updated.find(comet + "[1994tg]\nname = 1994  tg\ntype = asteroid\norbit_SemiMajorAxis = "),
            std::string::npos);
  // New sections end their lines as the catalogue's first line does; a body
  // without a number gains its designation.
  EXPECT_TRUE(
      updated.ends_with("absolute_magnitude = 7.0\niau_designation = 1994 TG\n" + crlf(last_section(plain, "[6hebe]"))))
      << updated;
  struct stat st {};
  ::stat(dir.path("ssystem_minor.ini").c_str(), &st);
  EXPECT_EQ(st.st_mode & 07777, 0600U);

  // Again: the same bodies are found and changed to the same values, and
  // refreshing what the catalogue holds from the whole input adds nothing.
  r = run_quelvarn(args);
  EXPECT_NE(r.console.find(" Updated sections: 3\n Added sections: 0\n"), std::string::npos) << r.console;
  EXPECT_EQ(read_file(dir.path("ssystem_minor.ini")), updated);
  r = run_quelvarn({"--update", "--existing", dir.path("in"), dir.path("ssystem_minor.ini")});
  EXPECT_NE(r.console.find(" Selected records: 6\n Updated sections: 3\n Added sections: 0\n"), std::string::npos)
      << r.console;
  EXPECT_EQ(read_file(dir.path("ssystem_minor.ini")), updated);
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"in", "plain.ini", "ssystem_minor.ini"}));
}

// A selection of nothing must not empty the user's catalogue, nor create
// an empty one; an update that finds nothing to change leaves it as it was.
// A pipe or device as the catalogue to update holds nothing to read.
TEST(Cli, NothingSelectedLeavesTheCatalogue) {
  temp_dir dir;
  write_file(dir.path("old.ini"), kOld);
  for (const std::vector<std::string>& selection :
       std::vector<std::vector<std::string>>{{"--body", "Cerse"}, {"--limit", "0"}, {"--max-magnitude=-5"}}) {
    for (const char* out : {"old.ini", "new.ini"}) {
      std::vector<std::string> args = selection;
      args.insert(args.end(), {QUELVARN_SAMPLE, dir.path(out)});
      run_result r = run_quelvarn(args);
      EXPECT_EQ(r.status, 1) << selection[0];
      std::string not_found = selection[0] == "--body" ? " Not found: Cerse\n" : "";
      EXPECT_EQ(r.console, "\n Starting\n\n\n End of processing: 42 asteroids.\n Selected records: 0\n" + not_found +
                               failure(" No record was selected: file " + dir.path(out) + " is left as it was"));
      args.insert(args.begin(), "--update");
      r = run_quelvarn(args);
      EXPECT_EQ(r.status, out == std::string("old.ini") ? 0 : 1) << r.console;
    }
  }
  EXPECT_EQ(read_file(dir.path("old.ini")), kOld);
  EXPECT_EQ(dir.names(), std::vector<std::string>{"old.ini"});

  ASSERT_EQ(::mkfifo(dir.path("fifo.ini").c_str(), 0600), 0);
  std::string piped;
  std::thread reader([&] { piped = read_file(dir.path("fifo.ini")); });
  run_result r = run_quelvarn({"--update", QUELVARN_SAMPLE, dir.path("fifo.ini")});
  reader.join();
  EXPECT_EQ(r.status, 0) << r.console;
  ASSERT_EQ(run_quelvarn({"--update", QUELVARN_SAMPLE, dir.path("new.ini")}).status, 0);
  EXPECT_EQ(piped, read_file(dir.path("new.ini")));
}

// Without a catalogue yet, --update writes what a plain conversion writes.
TEST(Cli, UpdateOfNoCatalogueIsAPlainConversion) {
  temp_dir dir;
  std::string records;
  std::set<std::string> designations;
  const std::string& all = genuine_records();
  for (std::size_t at = 0; at < all.size(); at = all.find('\n', at) + 1) {
    std::string line = all.substr(at, all.find('\n', at) + 1 - at);
    if (designations.insert(line.substr(165, 29)).second) records += line;
  }
  write_file(dir.path("in"), genuine_header() + records);
  for (const std::vector<std::string>& selection : {std::vector<std::string>{}, {"--class", "neo,mars-crosser"}}) {
    std::vector<std::string> plain_args = selection;
    plain_args.insert(plain_args.end(), {dir.path("in"), dir.path("plain.ini")});
    std::vector<std::string> update_args = selection;
    update_args.insert(update_args.end(), {"--update", dir.path("in"), dir.path("new.ini")});
    ASSERT_EQ(run_quelvarn(plain_args).status, 0);
    ASSERT_EQ(run_quelvarn(update_args).status, 0);
    EXPECT_EQ(read_file(dir.path("new.ini")), read_file(dir.path("plain.ini")));
    ::unlink(dir.path("new.ini").c_str());
  }
}

TEST(Cli, UnreadableCatalogueToUpdate) {
  temp_dir dir;
  write_file(dir.path("in"), genuine_header() + genuine_records());
  ::mkdir(dir.path("d").c_str(), 0755);
  write_file(dir.path("secret.ini"), kOld);
  ::chmod(dir.path("secret.ini").c_str(), 0200);
  ::chmod(dir.path("").c_str(), 0755);
  ::chmod(dir.path("in").c_str(), 0644);
  for (const std::string& out : {dir.path("d"), dir.path("secret.ini")}) {
    run_result r = run_quelvarn_unprivileged({"--update", dir.path("in"), out});
    if (r.status == 77) GTEST_SKIP() << "cannot run quelvarn as an ordinary user (65534) from " << dir.path("");
    EXPECT_EQ(r.status, 1) << out;
    EXPECT_EQ(r.console, failure(" file " + out + " cannot be read"));
  }
  ::chmod(dir.path("secret.ini").c_str(), 0600);
  EXPECT_EQ(read_file(dir.path("secret.ini")), kOld);
  // Text appended to a gzip file would spoil it.
  write_file(dir.path("old.ini.gz"), gzip_bytes(kOld));
  run_result r = run_quelvarn({"--update", dir.path("in"), dir.path("old.ini.gz")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.console, failure(" file " + dir.path("old.ini.gz") + " is not a catalogue"));
  EXPECT_EQ(read_file(dir.path("old.ini.gz")), gzip_bytes(kOld));
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"d", "in", "old.ini.gz", "secret.ini"}));
}

}  // namespace
}  // namespace quelvarn::testing
