// Whole runs in process, as the command line makes them, on every platform:
// each kind of input, updates, and every failure a run can meet.
#include "run/pipeline.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace quelvarn {
namespace {

using testing::genuine_header;
using testing::genuine_records;
using testing::gzip_bytes;
using testing::read_file;

struct outcome {
  run_result result;
  memory_target target;
};

outcome run(const std::string& input, run_settings settings, std::optional<std::string> existing = std::nullopt) {
  settings.threaded = false;
  outcome o{{}, memory_target(std::move(existing))};
  console quiet = console::silent();
  o.result = run_conversion(settings, std::make_unique<memory_source>(input), o.target, quiet);
  return o;
}

TEST(Pipeline, ConvertsOrFailsAndCommitsOnlyWhatIsWhole) {
  const std::string catalogue = genuine_header() + genuine_records();
  const std::string comets = read_file(QUELVARN_TEST_DATA "/cometels-2021-sample.txt");
  run_settings plain;
  run_settings chosen;
  chosen.select.bodies = {"Cerse"};
  run_settings numbered;
  numbered.select.numbered = true;
  run_settings update;
  update.update = true;
  struct {
    std::string name, input;
    run_settings settings;
    std::optional<std::string> existing;
    run_failure failure;
    input_kind kind;
    std::uint64_t records, selected;
  } cases[] = {
      {"MPCORB", catalogue, plain, {}, run_failure::none, input_kind::mpcorb, 796, 796},
      {"gzip, with a byte-order mark",
       gzip_bytes("\xEF\xBB\xBF" + catalogue),
       plain,
       {},
       run_failure::none,
       input_kind::mpcorb,
       796,
       796},
      {"headerless", genuine_records(), plain, {}, run_failure::none, input_kind::minor_planets, 796, 796},
      {"comets", comets, plain, {}, run_failure::none, input_kind::comets, 923, 923},
      {"not an orbit file", "Orbital elements\n" + comets, plain, {}, run_failure::input_bad, input_kind::bad, 0, 0},
      {"header only", genuine_header(), plain, {}, run_failure::input_bad, input_kind::mpcorb, 0, 0},
      {"truncated gzip",
       gzip_bytes(catalogue).substr(0, 3000),
       plain,
       {},
       run_failure::input_unreadable,
       input_kind::bad,
       0,
       0},
      {"numbered comets", comets, numbered, {}, run_failure::comet_options, input_kind::comets, 0, 0},
      {"nothing selected", catalogue, chosen, {}, run_failure::nothing_selected, input_kind::mpcorb, 796, 0},
      {"nothing selected, catalogue kept", catalogue,
       [&] {
         run_settings s = chosen;
         s.update = true;
         return s;
       }(),
       "[x]\n", run_failure::none, input_kind::mpcorb, 796, 0},
      {"update of nothing yet", catalogue, update, {}, run_failure::none, input_kind::mpcorb, 796, 796},
      {"update of blank lines", catalogue, update, " \r\n\n", run_failure::none, input_kind::mpcorb, 796, 796},
      // What the planetarium cannot read is left as it is, before any work.
      {"update of a gzip file", catalogue, update, gzip_bytes("[x]\n"), run_failure::not_a_catalogue,
       input_kind::mpcorb, 0, 0},
      {"update of a zip file", catalogue, update, "PK\x03\x04[x]\n", run_failure::not_a_catalogue, input_kind::mpcorb,
       0, 0},
      {"update of UTF-16", catalogue, update, std::string("[\0x\0]\0\n\0", 8), run_failure::not_a_catalogue,
       input_kind::mpcorb, 0, 0},
      {"update of words", catalogue, update, "words # [x]\n", run_failure::not_a_catalogue, input_kind::mpcorb, 0, 0},
      {"update of a section after 64 KiB", catalogue, update, std::string(65536, '\n') + "[x]\n",
       run_failure::not_a_catalogue, input_kind::mpcorb, 0, 0},
  };
  for (const auto& c : cases) {
    outcome o = run(c.input, c.settings, c.existing);
    EXPECT_EQ(o.result.failure, c.failure) << c.name;
    EXPECT_EQ(o.result.kind, c.kind) << c.name;
    EXPECT_EQ(o.result.counts.records, c.records) << c.name;
    EXPECT_EQ(o.result.counts.selected, c.selected) << c.name;
    // A catalogue is put in place only when the run succeeded and chose something.
    EXPECT_EQ(o.target.committed.has_value(), c.failure == run_failure::none && c.selected > 0) << c.name;
  }
  EXPECT_EQ(run(catalogue, chosen).result.not_found, std::vector<std::string>{"Cerse"});
}

}  // namespace
}  // namespace quelvarn
