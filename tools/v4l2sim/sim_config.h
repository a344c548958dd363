#pragma once
// The simulated cameras, one a line of the file KOVRACAM_V4L2SIM names, in the syntax of the
// virtual-camera file (`key=value` fields separated by `;`, `#` comments):
//
//   node=0; name=Sim Camera; formats=YUY2 640x480@30/15 320x240@30, RGB24 160x120-640x480/16x8@30;
//   controls=brightness int -64..64 =0, auto_exposure menu 1..3 =3 {1:Manual Mode|3:Aperture
//   Priority Mode}; powerline=50; pattern=ball; unplug=stream+3; stall=2+1.5; drop=5; short=7
//
// See README.md "Simulated V4L2 cameras" for every key.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/v4l2sim/device_model.h"

namespace kovracam::v4l2sim {

inline constexpr const char* kSimEnv = "KOVRACAM_V4L2SIM";

enum class Busy { No, Open, Stream };

// What a test scripts to go wrong; times are seconds.
struct Faults {
  std::optional<double> unplugAfterOpen;    // from the first open
  std::optional<double> unplugAfterStream;  // from the first STREAMON
  double stallAt = -1;                      // from STREAMON; no frame in [stallAt, +stallFor)
  double stallFor = 0;
  unsigned dropEvery = 0;   // every Nth frame is lost: a gap in the sequence
  unsigned shortEvery = 0;  // every Nth frame carries half its image
  Busy busy = Busy::No;     // another process holds the node
  // S_FMT to these sizes fails with EIO: a camera that lists a format it cannot deliver.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> refusedSizes;
};

struct NodeConfig {
  unsigned number = 0;  // /dev/videoN
  Device device;
  std::string byId;    // name in /dev/v4l/by-id
  std::string byPath;  // name in /dev/v4l/by-path
  std::string pattern = "smpte";
  Faults faults;
};

// Each malformed line is skipped with one line on `diagnostics` naming the file, the line
// number and the fault.
std::vector<NodeConfig> parseSimConfig(std::istream& in, const std::string& fileName,
                                       std::ostream& diagnostics);

}  // namespace kovracam::v4l2sim
