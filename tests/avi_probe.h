#pragma once
// Reads an AVI file's first video stream with ffprobe, counting the frames in it.

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

namespace kovracam::testing {

// codec_name, pix_fmt, width, height, nb_frames (the header's count), nb_read_frames (counted).
inline std::map<std::string, std::string> probeVideo(const std::filesystem::path& file) {
  std::map<std::string, std::string> fields;
  FILE* pipe = ::popen(("ffprobe -v error -count_frames -select_streams v:0 -show_entries stream="
                        "codec_name,pix_fmt,width,height,nb_frames,nb_read_frames -of "
                        "default=nw=1 '" +
                        file.string() + "' 2>/dev/null")
                           .c_str(),
                       "r");
  char line[256];
  while (pipe && std::fgets(line, sizeof line, pipe)) {
    const std::string text(line);
    const auto eq = text.find('=');
    if (eq != std::string::npos)
      fields[text.substr(0, eq)] = text.substr(eq + 1, text.size() - eq - 2);
  }
  if (pipe) ::pclose(pipe);
  return fields;
}

// true when the header's frame count equals the frames the file holds, and there are some.
inline bool isCompleteRecording(const std::filesystem::path& file) {
  auto fields = probeVideo(file);
  return fields["nb_frames"] == fields["nb_read_frames"] && !fields["nb_frames"].empty() &&
         fields["nb_frames"] != "0";
}

}  // namespace kovracam::testing
