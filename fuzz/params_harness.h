// The checks that every fuzz input of the parameter-file reader goes
// through, shared by the fuzz target and the test that replays its corpus
// and the inputs that once failed.
//
// The input is written to a file and applied to a default set with
// ApplyParamsFile. It may only succeed or throw io::Error whose text starts
// with the file's name and is one short line; any other exception is a fault. A set that
// took the file must survive the model: a town filled at random grows for
// three steps without leaving its land uses' ranges (every ID is one the set
// holds). Then the set's parameters, written as JSON and applied to a fresh
// default set, must give the same JSON again.
#pragma once

#include <exception>
#include <string>

#include "import_harness.h"
#include "io/error.h"
#include "params/params_json.h"

#include <towngrow/simulation.h>

namespace towngrow_fuzz {

inline std::string CheckParamsInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = WriteScratch("params.json", data, size);
  MessageLog log;  // notices of the growth rules stay out of the output
  CLandUseSet set;
  try {
    towngrow::io::ApplyParamsFile(path, set);
  } catch (const towngrow::io::Error& e) {
    const std::string what = e.what();
    if (what.compare(0, path.size(), path) != 0)
      return "refusal text without the file name: " + what;
    if (what.find('\n') != std::string::npos) return "refusal text of more than one line: " + what;
    if (what.size() > path.size() + 1000)
      return "refusal text of " + std::to_string(what.size()) + " characters";
    return {};
  } catch (const std::exception& e) {
    return std::string("exception other than a refusal: ") + e.what();
  }

  const int before = set.m_LandUseArray.GetSize();
  {
    Simulation sim(&set);
    SeedRandom(static_cast<unsigned>(size));
    if (sim.Init(17, 23) != 1) return "the simulation refused 17 x 23";
    sim.Current().RandomFill();
    sim.Run(3);
    const CLandUseCoverage& cur = sim.Current();
    if (cur.m_nRows != 17 || cur.m_nCols != 23 || cur.IsEmpty())
      return "the coverage changed shape";
    for (int r = 0; r < 17; ++r)
      for (int c = 0; c < 23; ++c)
        if (set.GetIDIndex(cur.GetCellValue(r, c)) < 0)
          return "the model wrote ID " + std::to_string(cur.GetCellValue(r, c)) +
                 ", which the set does not hold";
  }
  if (set.m_LandUseArray.GetSize() != before) return "the model changed the set";

  const auto json = towngrow::io::SetToJson(set);
  CLandUseSet again;
  try {
    towngrow::io::ApplyParams(json, "again", again);
  } catch (const std::exception& e) {
    return std::string("the set's own parameters were refused: ") + e.what();
  }
  if (towngrow::io::SetToJson(again) != json)
    return "the parameters did not survive writing and reading";
  return {};
}

}  // namespace towngrow_fuzz
